#!/usr/bin/env python3
"""Builds the libFuzzer targets of tests/fuzz with clang (ASan + UBSan) and runs each for a bounded
time on a copy of its seed corpus, one target after the other with a worker process per core
sharing that corpus. A crash, sanitizer report, hang (over 10 s), allocation over 512 MiB or broken
job guarantee fails the run. Then a coverage build of the same targets runs
over the corpora the fuzzers ended with, and the summary gives each target's executions and the
line coverage of the readers (src/formats).

Environment: FUZZ_SECONDS, time per target (45); FUZZ_FLAGS, extra libFuzzer flags; FUZZ_BUILD,
the build folder (build/fuzz; the coverage build sits beside it with "-coverage" appended);
FUZZ_SEED fixes the mutation sequence (1 by default, so a run repeats what a longer run with the
same seed has already explored; 0 lets libFuzzer pick a new seed each run); FUZZ_COVERAGE=0 skips
the coverage build.
"""
import concurrent.futures
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
TARGETS = ["tiff", "tiff_image", "radiance", "pgm", "bin", "raw", "png", "exr", "pnm", "heights"]
ARTIFACT = re.compile(r"(^|/)(crash|leak|timeout|oom|slow-unit)-[0-9a-f]{40}$")


def tool(*names):
    for name in names:
        found = shutil.which(name)
        if found:
            return found
    sys.exit(f"fuzz: none of {', '.join(names)} is installed")


def configure_and_build(build, extra):
    cxx, cc = tool("clang++-14", "clang++"), tool("clang-14", "clang")
    subprocess.run(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DKELVARIN_FUZZ=ON",
                    "-DKELVARIN_BUILD_TESTS=OFF", "-DKELVARIN_WERROR=ON", f"-DCMAKE_CXX_COMPILER={cxx}",
                    f"-DCMAKE_C_COMPILER={cc}", *extra], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, f"-j{jobs()}", "--target", "fuzz_all"], check=True)


def jobs():
    return os.cpu_count() or 2


def corpus_digest():
    """One digest over the names and bytes of the committed seeds."""
    digest = hashlib.sha256()
    for path in sorted((ROOT / "tests/fuzz/corpus").rglob("*")):
        if path.is_file():
            digest.update(str(path.relative_to(ROOT)).encode() + b"\0" + path.read_bytes())
    return digest.hexdigest()


def check_artifact_places(build):
    """Artifacts belong in the build folder only. None lies in the source tree, and a target run by hand from
    another folder without an -artifact_prefix still writes there: an RSS limit below what any
    process needs makes it write one within a second."""
    # The source tree is walked, not asked of git: the test command runs in an unpacked archive too.
    stray = []
    for folder, folders, names in os.walk(ROOT):
        folders[:] = [f for f in folders if f not in ("build", ".git", "out")]
        stray += [str(Path(folder, name).relative_to(ROOT)) for name in names if ARTIFACT.search(name)]
    if stray:
        sys.exit(f"fuzz: libFuzzer artifacts in the source tree: {' '.join(sorted(stray))}")
    artifacts = build / "tests/fuzz/artifacts/fuzz_raw"
    shutil.rmtree(artifacts, ignore_errors=True)
    with tempfile.TemporaryDirectory(prefix="kelvarin-fuzz-") as by_hand:
        by_hand = Path(by_hand)
        (by_hand / "corpus").mkdir()
        with open(by_hand / "log", "w") as log:
            subprocess.run([build / "tests/fuzz/fuzz_raw", "-rss_limit_mb=1", "-max_total_time=60", "corpus"],
                           cwd=by_hand, stdout=log, stderr=subprocess.STDOUT)
        left = sorted(p.name for p in by_hand.iterdir())
        if not list(artifacts.glob("oom-*")) or left != ["corpus", "log"]:
            print(f"fuzz: a target run by hand left its artifact outside {artifacts.parent}/:", left)
            print("".join((by_hand / "log").read_text(errors="replace").splitlines(True)[-5:]))
            sys.exit(1)
    print(f"fuzz: a target run by hand writes its artifacts into {artifacts.parent}/")


def run_target(build, work, target, seconds, seed, workers):
    """Fuzzes one target with `workers` processes sharing its corpus (each picks up what the others
    found), so a target has every core of the machine. Returns the worst exit status, the
    executions and processor seconds of all workers, and the log of the first that failed (or of
    the first)."""
    folder = work / target
    (folder / "artifacts").mkdir(parents=True)
    shutil.copytree(ROOT / "tests/fuzz/corpus" / target, folder / "corpus")
    # Most inputs allocate far less than a megabyte, so a 16 MiB quarantine still holds the frees of
    # many inputs and catches a use after free inside one; ASan's default of 256 MiB makes nearly
    # every allocation touch fresh pages, which costs more than the job. No allocation stacks are
    # recorded and new memory is not filled: unwinding and storing a stack at every malloc took a
    # third of fuzz_tiff_image's time (1300 executions a second per worker against 2000 without). A
    # report still shows where the bad access was; replaying its artifact by hand shows where the
    # memory came from.
    env = dict(os.environ, ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:quarantine_size_mb=16:malloc_context_size=0:"
                                        "max_malloc_fill_size=0",
               UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1")

    def worker(index):
        # A fixed seed gives each worker its own fixed seed; 0 still lets libFuzzer choose.
        worker_seed = int(seed) + index if int(seed) != 0 else 0
        command = [build / f"tests/fuzz/fuzz_{target}", f"-max_total_time={seconds}", f"-seed={worker_seed}",
                   "-timeout=10", "-rss_limit_mb=2048", "-malloc_limit_mb=512", "-max_len=8192", "-reload=1",
                   "-print_final_stats=1", *os.environ.get("FUZZ_FLAGS", "").split(),
                   f"-artifact_prefix={folder}/artifacts/", folder / "corpus"]
        log_path = folder / f"log-{index}"
        with open(log_path, "w") as log:
            process = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT)
            # The worker's own processor time: on a machine shared with other work, executions per
            # CPU-second say more about the target than executions per second.
            _, wait_status, usage = os.wait4(process.pid, 0)
            status = os.waitstatus_to_exitcode(wait_status)
        text = log_path.read_text(errors="replace")
        runs = re.findall(r"^stat::number_of_executed_units: *(\d+)", text, re.M)
        # A run that stopped on a fault prints no final statistics: take its last progress line.
        runs = runs or re.findall(r"^#(\d+)", text, re.M)
        return status, int(runs[-1]) if runs else 0, text, usage.ru_utime + usage.ru_stime

    with concurrent.futures.ThreadPoolExecutor(workers) as pool:
        done = list(pool.map(worker, range(workers)))
    failed = [d for d in done if d[0] != 0]
    status = failed[0][0] if failed else 0
    text = (failed or done)[0][2]
    return status, sum(d[1] for d in done), text, sum(d[3] for d in done)


def coverage(build, work):
    """Runs the coverage build of every target once over its final corpus and returns the
    per-file line counts of src/formats as {file: (covered, total)}."""
    profiles = build / "profiles"
    shutil.rmtree(profiles, ignore_errors=True)
    profiles.mkdir()
    binaries = []
    for target in TARGETS:
        binary = build / f"tests/fuzz/fuzz_{target}"
        binaries.append(binary)
        env = dict(os.environ, LLVM_PROFILE_FILE=str(profiles / f"{target}-%p.profraw"))
        subprocess.run([binary, "-runs=0", work / target / "corpus"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    merged = profiles / "merged.profdata"
    subprocess.run([tool("llvm-profdata-14", "llvm-profdata"), "merge", "-sparse", "-o", merged,
                    *sorted(profiles.glob("*.profraw"))], check=True)
    objects = [arg for binary in binaries[1:] for arg in ("-object", binary)]
    exported = subprocess.run([tool("llvm-cov-14", "llvm-cov"), "export", "-summary-only", f"-instr-profile={merged}",
                               binaries[0], *objects, ROOT / "src/formats"],
                              check=True, capture_output=True, text=True).stdout
    files = {}
    for entry in json.loads(exported)["data"][0]["files"]:
        lines = entry["summary"]["lines"]
        files[os.path.relpath(entry["filename"], ROOT)] = (lines["covered"], lines["count"])
    return files


def main():
    seconds = int(os.environ.get("FUZZ_SECONDS", "45"))
    seed = os.environ.get("FUZZ_SEED", "1")
    build = Path(os.environ.get("FUZZ_BUILD", ROOT / "build/fuzz")).resolve()
    seeds_before = corpus_digest()

    print(f"== building fuzz targets with {tool('clang++-14', 'clang++')}", flush=True)
    configure_and_build(build, [])
    check_artifact_places(build)

    # Never let a run touch the committed seeds: each target works on its own copy.
    work = build / "work"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir()
    # One target after the other, each with a worker per core (at least two).
    workers = max(2, jobs())
    print(f"== fuzzing {len(TARGETS)} targets for {seconds} s each, one after the other, {workers} workers each",
          flush=True)
    results = {target: run_target(build, work, target, seconds, seed, workers) for target in TARGETS}

    lines = []
    failed = 0
    for target in TARGETS:
        status, runs, text, cpu = results[target]
        rate = runs / seconds if seconds else 0
        if status == 0:
            lines.append(f"fuzz_{target}: {runs} executions ({rate:.0f}/s, {runs / cpu if cpu else 0:.0f} per "
                         f"CPU-second), clean")
            continue
        failed += 1
        lines.append(f"fuzz_{target}: {runs} executions, FAILED (exit {status}); the log follows")
        kept = [line for line in text.splitlines() if not re.match(r"^#\d+ +(NEW|REDUCE|pulse|INITED|RELOAD)", line)]
        lines.extend(kept[-60:])
        lines.extend(f"  artifact: {p.name}" for p in sorted((work / target / "artifacts").iterdir()))
    lines.append(f"fuzz: total executions {sum(r[1] for r in results.values())}")

    if corpus_digest() != seeds_before:
        lines.append("fuzz: the committed seeds under tests/fuzz/corpus changed during the run")
        failed += 1

    if os.environ.get("FUZZ_COVERAGE", "1") != "0" and failed == 0:
        print("== coverage of the readers over the final corpora", flush=True)
        cover_build = Path(str(build) + "-coverage")
        configure_and_build(cover_build, ["-DKELVARIN_FUZZ_COVERAGE=ON"])
        files = coverage(cover_build, work)
        covered = sum(c for c, _ in files.values())
        total = sum(t for _, t in files.values())
        for name, (c, t) in sorted(files.items()):
            lines.append(f"  lines {100 * c / t if t else 100:5.1f}%  {c:4}/{t:<4}  {name}")
        lines.append(f"fuzz: reader line coverage {100 * covered / total if total else 0:.1f}% ({covered}/{total} lines "
                     f"of src/formats)")

    print("\n".join(lines))
    clean = sum(1 for status, *_ in results.values() if status == 0)
    print(f"fuzz: {clean} passed, {len(TARGETS) - clean} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
