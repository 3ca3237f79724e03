// Each program under valgrind's memcheck in the real X server: a few seconds
// of frames, a resize, then the window closed as a window manager does it.
//
// A finding fails the test when our own code caused it: when the innermost
// frame of its stack outside the allocator lies in the program's executable.
// Findings wholly inside system libraries (Mesa, SDL, libdbus, the loader)
// differ from release to release and are only counted and listed. A planted-
// fault program shows that an out-of-bounds read and a leaked new are caught.

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gtest_harness.h"

using namespace harness;

namespace {

// The text of every <tag>...</tag> in `xml`, in order (no tag of memcheck's
// log holds one of its own name), and of the first of them.
std::vector<std::string> elements(const std::string& xml, const std::string& tag)
{
    const std::string open = "<" + tag + ">", close = "</" + tag + ">";
    std::vector<std::string> texts;
    std::size_t start = xml.find(open);
    while (start != std::string::npos) {
        const std::size_t end = xml.find(close, start);
        if (end == std::string::npos) {
            break;
        }
        texts.push_back(xml.substr(start + open.size(), end - start - open.size()));
        start = xml.find(open, end);
    }
    return texts;
}
std::string element(const std::string& xml, const std::string& tag)
{
    const std::vector<std::string> all = elements(xml, tag);
    return all.empty() ? "" : all.front();
}

struct Frame {
    std::string object;    // the executable or library the code is in
    std::string function;  // empty when unknown
};

struct Finding {
    std::string kind;          // e.g. InvalidRead, Leak_DefinitelyLost
    std::vector<Frame> stack;  // the first stack: where it happened, or where a leaked block was made
};

// Every <error> of a memcheck XML log.
std::vector<Finding> parseFindings(const std::string& xml)
{
    std::vector<Finding> findings;
    for (const std::string& error : elements(xml, "error")) {
        Finding finding{element(error, "kind"), {}};
        for (const std::string& frame : elements(element(error, "stack"), "frame")) {
            finding.stack.push_back({element(frame, "obj"), element(frame, "fn")});
        }
        findings.push_back(finding);
    }
    return findings;
}

// Valgrind's replacements of malloc, new, free and the string functions live
// in its preloaded objects; the frame below them is the caller.
bool isAllocator(const Frame& f)
{
    return f.object.find("/vgpreload_") != std::string::npos;
}

// The innermost frame outside the allocator, or null.
const Frame* culprit(const Finding& finding)
{
    for (const Frame& f : finding.stack) {
        if (!isAllocator(f)) {
            return &f;
        }
    }
    return nullptr;
}

std::string describe(const Finding& finding)
{
    const Frame* f = culprit(finding);
    return finding.kind + " in " + (f == nullptr ? "?" : (f->function.empty() ? "?" : f->function) + " (" + f->object + ")");
}

// The findings memcheck made in one run, split by whose code caused them.
struct Verdict {
    std::vector<Finding> ours;
    std::vector<Finding> libraries;
};

Verdict judge(const std::string& xml, const std::string& executable)
{
    std::error_code error;
    const std::string program = std::filesystem::canonical(executable, error).string();
    Verdict verdict;
    for (const Finding& finding : parseFindings(xml)) {
        const Frame* f = culprit(finding);
        (f != nullptr && f->object == program ? verdict.ours : verdict.libraries).push_back(finding);
    }
    return verdict;
}

// Starts `path` under memcheck, writing its XML log into `logDir`.
LaunchOptions underMemcheck(const std::string& logDir)
{
    LaunchOptions options;
    options.unbuffered = true;
    options.wrapper = {"valgrind", "--tool=memcheck", "--leak-check=full",
                       "--show-leak-kinds=definite", "--errors-for-leak-kinds=definite",
                       // Names the frames of libraries unloaded before exit.
                       "--keep-debuginfo=yes", "--num-callers=40", "--xml=yes",
                       "--xml-file=" + logDir + "/memcheck.xml", "--log-file=" + logDir + "/memcheck.log"};
    return options;
}

// The first line valgrind wrote in its own words, past its "==pid==" banner.
std::string firstComplaint(const std::string& text)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.rfind("==", 0) != 0) {
            return line;
        }
    }
    return "";
}

// "" when valgrind can run a trivial program here that flushes the
// instruction cache, as Mesa's shader compiler does while a program sets up
// its window; else what it did instead. Under a user-mode emulator (qemu-user,
// as for arm64 on an amd64 machine) valgrind stops on that flush with an
// assertion of its own; that, and only that, is a reason to skip, which the
// answer then starts with "SKIPPED:". The probe shows it within seconds,
// where the tests below would each wait minutes for a window that never comes.
const std::string& memcheckProbe()
{
    static const std::string answer = [] {
        const ScratchDir scratch;
        Program p(MEMCHECK_PROBE_PATH, underMemcheck(scratch.path));
        const auto status = p.waitExit(60s);
        if (status == 0) {
            return std::string();
        }
        // valgrind says why in its log, or on stderr when it fails before it opens the log.
        const std::string log = readFile(scratch.path + "/memcheck.log") + "\n" + p.stderrText();
        const std::string saw = (status ? toString(*status) : "still running after 60 s") + ": " + firstComplaint(log);
        const bool emulated = log.find("(vgPlain_flush_dcache): Assertion") != std::string::npos;
        return (emulated ? "SKIPPED: valgrind cannot flush the instruction cache under emulation ("
                         : "valgrind failed on a trivial program (") + saw + ")";
    }();
    return answer;
}

// Prints the library findings, counted by kind and culprit.
void listLibraryFindings(const std::string& name, const Verdict& verdict)
{
    std::map<std::string, int> counts;
    for (const Finding& f : verdict.libraries) {
        ++counts[describe(f)];
    }
    std::cout << "[ memcheck ] " << name << ": " << verdict.ours.size() << " in our code, "
              << verdict.libraries.size() << " inside system libraries\n";
    for (const auto& [what, count] : counts) {
        std::cout << "[ memcheck ]   " << count << " x " << what << "\n";
    }
}

class Memcheck : public testing::TestWithParam<Subject> {};

TEST_P(Memcheck, NoInvalidAccessOrLeakOfOursThroughARunAndAClose)
{
    if (memcheckProbe().rfind("SKIPPED:", 0) == 0) {
        GTEST_SKIP() << memcheckProbe();
    }
    ASSERT_EQ(memcheckProbe(), "");
    const Subject& s = GetParam();
    const ScratchDir scratch;
    Program p(s.path, underMemcheck(scratch.path));
    // Start-up alone takes many seconds under memcheck.
    ASSERT_TRUE(p.waitForWindow(s.caption, 180s));
    // quenzel draws every pixel through the noise; small, its frames come quickly.
    if (s.kind == Kind::Quenzel) {
        p.resize(64, 40);
    } else {
        p.resize(400, 300);
    }
    // A few seconds of frames; mobrix moves its block meanwhile.
    if (s.kind == Kind::Mobrix) {
        p.keyDown(XK_d);
    }
    EXPECT_TRUE(waitForRecords(p, s.kind == Kind::Quenzel ? 30 : 100, 120s)) << "frames under memcheck";
    if (s.kind == Kind::Mobrix) {
        p.keyUp(XK_d);
    }
    p.closeWindow();
    const auto status = p.waitExit(120s);
    ASSERT_TRUE(status.has_value()) << "still running after the window was closed";
    EXPECT_EQ(*status, 0) << toString(*status) << "\n" << readFile(scratch.path + "/memcheck.log");

    const std::string xml = readFile(scratch.path + "/memcheck.xml");
    ASSERT_NE(xml.find("</valgrindoutput>"), std::string::npos) << "memcheck wrote no complete log";
    const Verdict verdict = judge(xml, s.path);
    listLibraryFindings(s.name, verdict);
    for (const Finding& f : verdict.ours) {
        ADD_FAILURE() << describe(f) << "\n" << readFile(scratch.path + "/memcheck.log");
    }
    std::cout << "[ memcheck ] " << s.name << ": " << expectRecords(s, p.stdoutText()).size()
              << " frames\n";
}

INSTANTIATE_TEST_SUITE_P(Programs, Memcheck, testing::Values(dravin, mobrix, quenzel), subjectName);

// A program set up like ours (window, renderer, a frame) that then reads past
// the end of a heap array and leaks a new: both must be judged ours, and
// whatever the libraries did must not be.
TEST(MemcheckVerdict, CatchesPlantedFaultsInOurCode)
{
    if (memcheckProbe().rfind("SKIPPED:", 0) == 0) {
        GTEST_SKIP() << memcheckProbe();
    }
    ASSERT_EQ(memcheckProbe(), "");
    const ScratchDir scratch;
    Program p(MEMCHECK_PLANTED_PATH, underMemcheck(scratch.path));
    const auto status = p.waitExit(180s);
    ASSERT_TRUE(status.has_value()) << "the planted-fault program did not end";
    EXPECT_EQ(*status, 0) << toString(*status) << p.stderrText();

    const Verdict verdict = judge(readFile(scratch.path + "/memcheck.xml"), MEMCHECK_PLANTED_PATH);
    listLibraryFindings("planted", verdict);
    // The compiler may unroll the leaking loop, which splits the leak into a
    // few records: what counts is which kinds of finding are ours.
    std::set<std::string> kinds;
    for (const Finding& f : verdict.ours) {
        kinds.insert(f.kind);
        const std::string& function = culprit(f)->function;
        EXPECT_TRUE(function.find("readPastTheEnd") != std::string::npos ||
                    function.find("leakBlocks") != std::string::npos)
            << "not a planted fault: " << describe(f);
    }
    EXPECT_EQ(kinds, (std::set<std::string>{"InvalidRead", "Leak_DefinitelyLost"}));
}

}  // namespace
