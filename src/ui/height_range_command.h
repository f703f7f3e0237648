// Output > Height Range...: the heights that levels 1 and 65535 stand for in every height map made
// from elevation files, so that tiles converted one by one share one scale.
#pragma once

#include "job/session.h"

namespace kelvarin {

// Asks for LO:HI through the port; an empty answer goes back to each file's own range, a text
// that is no range is refused with a box and changes nothing.
void askHeightRange(Session& session);

}  // namespace kelvarin
