#pragma once

// The three programs as the tests and tools see them: where they are, how
// their windows are called, and how their status records read.

#include <cstddef>
#include <string>
#include <vector>

namespace harness {

enum class Kind { Dravin, Mobrix, Quenzel };

struct Subject {
    Kind kind;
    const char* name;     // also how its error messages start
    const char* path;     // the program in this build
    const char* caption;  // its window's title
    const char* record;   // one status record; each group is a number, the first the delta
};

extern const Subject dravin;
extern const Subject mobrix;
extern const Subject quenzel;

// One status record: where it starts in stdout, and its numbers.
struct Record {
    std::size_t offset;
    std::vector<double> values;
    double delta() const { return values[0]; }
};

enum class Stream {
    Finished,  // the program has ended
    Live,      // still running: the last record may be half written and is left out
};

struct StatusStream {
    std::vector<Record> records;  // the records before the first fault
    std::string fault;            // "" when the whole stream is well formed
};

// Parses a status stream. It must hold a record, start with '\r' and have no
// newline, except that quenzel ends its last record with one once it has
// quit; every record must match the subject's format.
StatusStream parseStatus(const Subject& s, std::string out, Stream stream);

}  // namespace harness
