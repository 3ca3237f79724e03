// status_check PROGRAM < STREAM
//
// Checks the status stream a program wrote up to its end against the
// program's format, and that no frame was of negative length. Prints the
// number of records and exits 0, or names the fault and exits 1. For tests
// written in shell, so the formats are defined once.

#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include "programs.h"

int main(int argc, char** argv)
{
    const harness::Subject* subject = argc == 2 ? harness::subjectNamed(argv[1]) : nullptr;
    if (subject == nullptr) {
        std::fprintf(stderr, "usage: status_check dravin|mobrix|quenzel < STREAM\n");
        return 2;
    }
    const std::string stream{std::istreambuf_iterator<char>(std::cin), {}};
    const harness::StatusStream parsed = harness::parseStatus(*subject, stream, harness::Stream::Finished);
    if (!parsed.fault.empty()) {
        std::fprintf(stderr, "%s: %s\n", subject->name, parsed.fault.c_str());
        return 1;
    }
    for (const harness::Record& r : parsed.records) {
        if (r.delta() < 0.0) {
            std::fprintf(stderr, "%s: negative delta in the record at byte %zu\n", subject->name, r.offset);
            return 1;
        }
    }
    std::printf("%zu\n", parsed.records.size());
    return 0;
}
