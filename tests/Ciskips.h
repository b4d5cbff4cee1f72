#pragma once
// The GoogleTest cases that may skip in CI (CI=true), each with its reason.
// Any other case that skips there fails: a check that did not run is not a
// check that passed. Where a case skips for a missing tool, CI installs the
// tool (cmake/Testtools.cmake refuses to configure without it) instead of
// declaring the case here. Script tests declare theirs with
// volm_may_skip_in_ci in CMake.

namespace volm::test {

struct CiSkip {
    const char* test;   // Suite.Case
    const char* reason;
};

inline constexpr CiSkip ciSkips[] = {
    {"Cfbinterop.CorpusReadsAsOlefileReadsItAndBrokenFilesAreRefused",
     "other programs' compound files live beside the clone (../shared/corpus), not in it"},
    {"Cfbinterop.CorpusFilesThatOpenForWritingStayReadable",
     "other programs' compound files live beside the clone (../shared/corpus), not in it"},
    {"Pack.FilesOfOtherProgramsPackWholeOrNotAtAll",
     "other programs' compound files live beside the clone (../shared/corpus), not in it"},
    {"Project.CorpusFilesAreNeverWrittenByReading",
     "other programs' compound files live beside the clone (../shared/corpus), not in it"},
    {"Faults.CorpusFilesAreNeverWrittenByCommandsThatRead",
     "other programs' compound files live beside the clone (../shared/corpus), not in it"},
    {"Registry.FailuresInReadOnlyFolderKeepTheOldFile",
     "CI runs as root, whom folder permissions do not stop"},
};

} // namespace volm::test
