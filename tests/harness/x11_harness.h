#pragma once

// End-to-end test harness: runs a real program in a private Xvfb server,
// directly or through a Wayland compositor shown on that server, and drives
// it as a user would, through Xlib and the XTEST extension. A problem
// a Program meets fails the running test, which goes on. Every wait is
// bounded, and nothing outlives a test: a Program still running at its end
// is killed and reaped, and the X server stops when the test process exits.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Xlib's own header defines macros (None, Bool, Status) that clash with
// other headers, so only the two types needed here are declared.
typedef struct _XDisplay Display;
using XWindowId = unsigned long;

namespace harness {

using namespace std::chrono_literals;
using Millis = std::chrono::milliseconds;

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb& o) const { return !(*this == o); }
};
std::string toString(const Rgb& c);  // "(r, g, b)", for failure messages

// A captured picture, row-major, decoded with the visual's colour masks.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;
    const Rgb& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// The private X server of this test process: Xvfb at 24-bit depth on a free
// display number, screen 1920 x 1200, black root window, key autorepeat off.
// Started on first use, stopped when the process exits.
class XServer {
public:
    static XServer& instance();
    const std::string& displayName() const { return displayName_; }
    Display* connection() const { return display_; }

    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    ~XServer();

private:
    XServer();
    pid_t pid_ = -1;
    std::string displayName_;
    Display* display_ = nullptr;
};

// Where a program under test opens its window. The compositor is sway, run on
// the private X server through its X11 backend, so that XTEST keys reach its
// keyboard and its output window is read back; windows float, undecorated.
enum class Session {
    X11,       // on the private X server itself
    Wayland,   // a native Wayland client of the compositor, with no X server to reach
    XWayland,  // an X client of the compositor's XWayland, as SDL 2 starts on a Wayland desktop
};
std::string toString(Session s);
// "" where the session's compositor runs here, else why it does not.
std::string compositorProblem(Session s);

// A program under test sees only the environment a test gives it: PATH and
// LANG, a private, empty HOME and XDG_RUNTIME_DIR, and its session's display:
// DISPLAY on X11; on Wayland the compositor's socket, SDL_VIDEODRIVER=wayland
// and no DISPLAY; on XWayland its DISPLAY and SDL_VIDEODRIVER=x11. Nothing
// else (no other SDL_*, LIBGL_* or GTEST_*); of the file descriptors, only 0-2.
struct LaunchOptions {
    // Environment variables for the program, added to or replacing the above.
    std::map<std::string, std::string> env;
    // Environment variables removed from the above, e.g. DISPLAY.
    std::vector<std::string> unset;
    // A command to run the program under, e.g. {"valgrind"}, which must run
    // it in its own process (valgrind execs it), so its window is found.
    std::vector<std::string> wrapper{};
    // Standard output unbuffered, as `stdbuf -o0` makes it, so every record
    // reaches the file at once and a test can follow the frames as they pass.
    bool unbuffered = false;
    Session session = Session::X11;
};

// Environment that runs a program under libfaketime with its wall clock
// pinned to `frozenTime` (a "YYYY-MM-DD hh:mm:ss" UTC time) while the
// monotonic clock stays real.
std::map<std::string, std::string> frozenClockEnv(const std::string& frozenTime);
// The wall-clock time the tests and tools stop quenzel's clock at, for a
// known seed (one with the sign bit set) and an angle that stays 0.
inline const std::string flagClockTime = "2024-03-05 12:34:56";
// The seed quenzel takes from a wall clock stopped at `time`.
int frozenClockSeed(const std::string& time = flagClockTime);
// The wall clock of a program under libfaketime, read from a file of its own
// at every clock call, so the test can move it under the running program.
// A setting is an offset from the real time ("+0", "+1h", "-1h") or a time the
// clock stands at (see stoppedAt).
class ClockFile {
public:
    explicit ClockFile(const std::string& setting);
    ~ClockFile();
    ClockFile(const ClockFile&) = delete;
    ClockFile& operator=(const ClockFile&) = delete;
    std::map<std::string, std::string> env() const;
    void set(const std::string& setting);  // replaces the file in one rename

private:
    std::string dir_;
};
// The clock standing `elapsed` after flagClockTime. Each frame then sees the
// same time until the next set(), so the first frame after it carries
// exactly the difference in its delta.
std::string stoppedAt(Millis elapsed);

// The result of waitExit: the exit code, or the signal that ended the process.
struct ExitStatus {
    bool exited = false;   // true: ended through exit(); false: killed by a signal
    int code = -1;         // exit code when exited
    int signal = 0;        // signal number otherwise
    bool operator==(int exitCode) const { return exited && code == exitCode; }
};
std::string toString(const ExitStatus& s);

// One program under test. stdout and stderr go to temporary files under
// TMPDIR (a pipe would fill and block it).
class Program {
public:
    explicit Program(const std::string& path, const LaunchOptions& options = {});
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    pid_t pid() const { return pid_; }
    bool running();

    // Waits for the program's top-level window with the caption (by process id
    // and title), viewable and drawn (a pixel not black: SDL may first map a
    // window it replaces undrawn), and gives it the input focus. Fails the test
    // and returns false on time-out, if the program ends, or if its window is
    // of the other kind (Wayland or X) than the session's.
    bool waitForWindow(const std::string& caption, Millis timeout = 30s);

    // Keyboard through XTEST; keys are X keysyms such as XK_d, XK_Escape, XK_1.
    void keyDown(unsigned long keysym) { sendKeys({keysym}, true); }
    void keyUp(unsigned long keysym) { sendKeys({keysym}, false); }
    void tapKey(unsigned long keysym) { keyDown(keysym); keyUp(keysym); }
    // Holds the keys together for `duration`; returns how long they were held.
    std::chrono::duration<double> holdKeys(const std::vector<unsigned long>& keysyms, Millis duration);

    // Resizes the window (as a window manager would, there being none on X11)
    // and waits until the server or the compositor reports the new size.
    void resize(int width, int height);
    // X11 only: whether a window manager may resize the window: a window that
    // may not be resized asks for a minimum and a maximum size that are the same.
    bool resizable();
    // X11 only: unmaps the window, as minimising does, or maps it again and
    // gives it the focus; waits until the server agrees.
    void setMapped(bool mapped);
    // Asks the window to close, the way a window manager's close button does:
    // WM_DELETE_WINDOW on X11, the compositor's kill otherwise.
    void closeWindow();
    void sendSignal(int signo);

    // The window's current contents, read from the X server. Fails the test
    // if the window cannot be read.
    Image capture();
    // Captures until `predicate` holds or the time-out passes (a capture that
    // misses is retried); returns the last capture and whether it held. Fails
    // the test at once if the program has ended.
    std::pair<Image, bool> waitForPicture(const std::function<bool(const Image&)>& predicate,
                                          Millis timeout = 10s);

    // Waits for the process to end. nullopt on time-out (the process is left running).
    std::optional<ExitStatus> waitExit(Millis timeout = 10s);

    // What the program wrote so far (all of it once it has exited).
    std::string stdoutText() const;
    std::string stderrText() const;

private:
    // Whether SDL hands the X server of a session (X11 or XWayland) the
    // programs' pixels in their own byte order, unconverted; proved once per
    // session with the display probe.
    static bool displayPathUnconverted(Session session);
    static bool probeDisplayPath(Session session);
    void sendKeys(const std::vector<unsigned long>& keysyms, bool press);
    bool ensureWindow();
    bool findView();
    std::optional<Image> tryCapture();

    pid_t pid_ = -1;
    std::optional<ExitStatus> status_;
    Session session_ = Session::X11;
    XWindowId window_ = 0;  // on a compositor, its output window
    int view_[4] = {0, 0, 0, 0};  // on a compositor, where the program's window is in it: x, y, w, h
    std::string wrongKind_;       // why a compositor's client is not of the session's kind
    bool iconified_ = false;  // unmapped on purpose by setMapped()
    std::string caption_;
    std::string tempDir_;
};

// The whole file, or "" when it cannot be read.
std::string readFile(const std::string& path);

// Polls `condition` every `interval` until it holds or `timeout` passes.
// Every timed wait of the harness comes here; `timeout` is stretched by the
// build's time scale, which is larger for a slow machine or an emulator
// (tests/CMakeLists.txt).
bool waitUntil(const std::function<bool()>& condition, Millis timeout, Millis interval = 10ms);

}  // namespace harness
