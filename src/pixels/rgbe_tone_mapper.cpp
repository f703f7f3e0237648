#include "job/job_context.h"
#include "job/stages.h"

namespace kelvarin {

bool convertRgbe(JobContext& job) {
    return job.refuse(errorBox("This kind of source cannot be converted yet.", "KELVARIN - Error."),
                      {">>> No converter for this source yet. STOP!"});
}

}  // namespace kelvarin
