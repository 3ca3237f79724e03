#include "x11_harness.h"

#include "display_probe.h"

// Before Xlib, whose macros (None, Bool) would rename GoogleTest's types.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <thread>

extern char** environ;

namespace harness {

namespace {

using Clock = std::chrono::steady_clock;

// X errors are expected in some cases (a window that has just gone away, a
// capture of a window reaching past the screen). Record them instead of
// letting Xlib's default handler end the test process.
int lastXError = 0;
int recordXError(Display*, XErrorEvent* event)
{
    lastXError = event->error_code;
    return 0;
}

bool isViewable(Display* display, Window window)
{
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, window, &attributes) != 0 && attributes.map_state == IsViewable;
}

void sleepFor(Millis duration)
{
    std::this_thread::sleep_for(duration);
}

// In a forked child: ask the kernel to kill it when the test process dies,
// so an aborted or timed-out test never leaves it behind.
void dieWithParent(pid_t parent)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) {
        _exit(127);
    }
}

// Seconds since the epoch of a "YYYY-MM-DD hh:mm:ss" UTC time.
std::time_t utcSeconds(const std::string& time)
{
    std::tm calendar{};
    std::istringstream(time) >> std::get_time(&calendar, "%Y-%m-%d %H:%M:%S");
    return timegm(&calendar);
}

std::map<std::string, std::string> fakeTimeBase()
{
    std::map<std::string, std::string> env;
    env["LD_PRELOAD"] = LIBFAKETIME_PATH;
    // Only the wall clock moves; timers and waits in SDL and Xlib stay real.
    env["FAKETIME_DONT_FAKE_MONOTONIC"] = "1";
    // File times stay real too. libfaketime takes a lock around every stat()
    // call; at exit, the sanitizers' leak check stats libraries while
    // symbolizing, and that lock then aborted the program ("The futex
    // facility returned an unexpected error code").
    env["NO_FAKE_STAT"] = "1";
    env["TZ"] = "UTC";
    return env;
}

}  // namespace

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string toString(const Rgb& c)
{
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

// ---------------------------------------------------------------- X server

XServer& XServer::instance()
{
    static XServer server;
    return server;
}

XServer::XServer()
{
    const auto die = [](const std::string& why) {
        std::fprintf(stderr, "x11_harness: %s\n", why.c_str());
        std::abort();
    };
    int displayPipe[2];
    if (pipe(displayPipe) != 0) {
        die("pipe failed");
    }
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        dieWithParent(parent);
        close(displayPipe[0]);
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        const std::string fd = std::to_string(displayPipe[1]);
        // -displayfd: the server picks a free display number and writes it to the pipe.
        // -br: a black root window, so a window nobody has drawn into reads black.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1200x24", "-br", "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(displayPipe[1]);

    std::string number;
    char c = 0;
    while (read(displayPipe[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    close(displayPipe[0]);
    if (number.empty()) {
        die("Xvfb did not start (is the xvfb package installed?)");
    }
    displayName_ = ":" + number;
    setenv("DISPLAY", displayName_.c_str(), 1);

    display_ = XOpenDisplay(displayName_.c_str());
    if (display_ == nullptr) {
        die("cannot open display " + displayName_);
    }
    XSetErrorHandler(recordXError);

    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display_, &eventBase, &errorBase, &major, &minor)) {
        die("the X server has no XTEST extension");
    }

    // A held key must be one press and one release, never a stream of repeats.
    XKeyboardControl keyboard;
    keyboard.auto_repeat_mode = AutoRepeatModeOff;
    XChangeKeyboardControl(display_, KBAutoRepeatMode, &keyboard);
    XSync(display_, False);
}

XServer::~XServer()
{
    if (display_ != nullptr) {
        XCloseDisplay(display_);
    }
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

// ---------------------------------------------------------------- compositor

namespace {

// The X server's top-level windows, for telling the compositor's apart.
std::vector<Window> topLevelWindows(Display* display)
{
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> windows;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) != 0 && children) {
        windows.assign(children, children + count);
        XFree(children);
    }
    return windows;
}

// The first line a shell command prints, without its newline.
std::string firstLine(const std::string& command)
{
    char line[512] = "";  // left empty when it prints nothing
    if (FILE* out = popen(command.c_str(), "r")) {
        std::fgets(line, sizeof line, out);
        pclose(out);
    }
    return std::string(line, std::strcspn(line, "\n"));
}

// sway on the private X server, with or without XWayland, in a directory of
// its own (its configuration, log and runtime directory). sway refuses to
// run as root, so as root it runs as nobody, who owns that directory.
class Compositor {
public:
    // The compositor of a Wayland or XWayland session.
    static Compositor& instance(Session session)
    {
        // Each started only when first asked for: two would cover each other's windows.
        if (session == Session::XWayland) {
            static Compositor withX(true);
            return withX;
        }
        static Compositor without(false);
        return without;
    }
    const std::string& problem() const { return problem_; }
    // Runs swaymsg with its arguments on this compositor's socket.
    std::string message(const std::string& arguments) const
    {
        return firstLine("swaymsg -s '" + ipcSocket_ + "' " + arguments + " 2>&1");
    }
    std::string waylandSocket, xwaylandDisplay;
    Window output = 0;

    ~Compositor()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);  // it ends its XWayland
            waitpid(pid_, nullptr, 0);
        }
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

private:
    explicit Compositor(bool xwayland)
    {
        Display* display = XServer::instance().connection();
        if (mkdtemp(dir_.data()) == nullptr) {
            problem_ = "mkdtemp failed";
            return;
        }
        const std::string runtime = dir_ + "/runtime";
        mkdir(runtime.c_str(), 0700);
        std::ofstream(dir_ + "/config") << "swaynag_command -\n"
                                           "default_border none\n"
                                           "default_floating_border none\n"
                                           "for_window [title=\".*\"] floating enable\n"
                                           "floating_minimum_size 1 x 1\n"
                                           "floating_maximum_size -1 x -1\n"
                                           "output * resolution 1600x1000 position 0 0\n"
                                        // XWayland serves only its own user unless told otherwise.
                                        << (xwayland ? "exec xhost +local: && printf %s \"$DISPLAY\" >" + dir_ +
                                                           "/xwayland-display\n"
                                                     : "xwayland disable\n");
        const uid_t nobody = 65534;
        if (geteuid() == 0 && (chown(dir_.c_str(), nobody, nobody) != 0 || chown(runtime.c_str(), nobody, nobody) != 0)) {
            problem_ = "cannot hand " + dir_ + " to nobody";
            return;
        }
        const std::vector<Window> before = topLevelWindows(display);
        ipcSocket_ = dir_ + "/ipc";
        const std::string env[] = {"PATH=" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"),
                                   "HOME=" + dir_, "XDG_RUNTIME_DIR=" + runtime, "SWAYSOCK=" + ipcSocket_,
                                   "DISPLAY=" + XServer::instance().displayName(),
                                   // No GPU and no display of its own: pixels in memory, shown in one X window.
                                   "WLR_BACKENDS=x11", "WLR_RENDERER=pixman", "WLR_X11_OUTPUTS=1"};
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            // The change of user clears the death signal, so it comes first.
            if (geteuid() == 0 && (setgroups(0, nullptr), setgid(nobody) != 0 || setuid(nobody) != 0)) {
                _exit(126);
            }
            dieWithParent(parent);
            const int log = open((dir_ + "/log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
            close_range(3, ~0U, 0);
            std::vector<char*> envp;
            for (const std::string& entry : env) {
                envp.push_back(const_cast<char*>(entry.c_str()));
            }
            envp.push_back(nullptr);
            environ = envp.data();
            execlp("sway", "sway", "-c", (dir_ + "/config").c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // Up when its sockets, its output window and, if asked for, XWayland are there.
        const bool up = waitUntil(
            [&] {
                for (const auto& entry : std::filesystem::directory_iterator(runtime)) {
                    if (entry.path().filename().string().rfind("wayland-", 0) == 0 && entry.is_socket()) {
                        waylandSocket = entry.path();
                    }
                }
                for (Window w : topLevelWindows(display)) {
                    if (std::find(before.begin(), before.end(), w) == before.end() && isViewable(display, w)) {
                        output = w;
                    }
                }
                xwaylandDisplay = readFile(dir_ + "/xwayland-display");
                return waitpid(pid_, nullptr, WNOHANG) != 0 ||
                       (!waylandSocket.empty() && std::filesystem::exists(ipcSocket_) && output != 0 &&
                        (!xwayland || !xwaylandDisplay.empty()));
            },
            30s);
        if (!up || waitpid(pid_, nullptr, WNOHANG) != 0) {
            problem_ = "sway did not start: " + readFile(dir_ + "/log").substr(0, 2000);
            pid_ = -1;
            return;
        }
        // The pointer away from the output, so that no cursor is drawn over a window.
        XWarpPointer(display, 0, DefaultRootWindow(display), 0, 0, 0, 0, 1919, 1199);
        XSync(display, False);
    }

    std::string dir_ = testing::TempDir() + "compositor-XXXXXX";
    std::string ipcSocket_;
    std::string problem_;
    pid_t pid_ = -1;
};

}  // namespace

std::string toString(Session s)
{
    return s == Session::X11 ? "X11" : s == Session::Wayland ? "Wayland" : "XWayland";
}

namespace {

// Whether the private X server, and so the compositor beside it, keeps its
// pixels in the other byte order than this process and the programs under
// test: a big-endian build's tests under qemu on a little-endian machine.
bool otherByteOrder()
{
    const int ours = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
    return ImageByteOrder(XServer::instance().connection()) != ours;
}

}  // namespace

std::string compositorProblem(Session s)
{
    if (s == Session::X11) {
        return "";
    }
    // Wayland's messages are in the byte order of the machine that sends them.
    if (s == Session::Wayland && otherByteOrder()) {
        return "the compositor's byte order is not the programs', and Wayland's messages carry the sender's";
    }
    return Compositor::instance(s).problem();
}

// ---------------------------------------------------------------- clocks

std::map<std::string, std::string> frozenClockEnv(const std::string& frozenTime)
{
    std::map<std::string, std::string> env = fakeTimeBase();
    // An absolute time without '@' stops the wall clock there.
    env["FAKETIME"] = frozenTime;
    return env;
}

ClockFile::ClockFile(const std::string& setting)
{
    dir_ = testing::TempDir() + "clock-XXXXXX";
    if (mkdtemp(dir_.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed: " << std::strerror(errno);
    }
    set(setting);
}

ClockFile::~ClockFile()
{
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::map<std::string, std::string> ClockFile::env() const
{
    std::map<std::string, std::string> env = fakeTimeBase();
    env["FAKETIME_TIMESTAMP_FILE"] = dir_ + "/clock";
    // Re-read the file on every clock call, so a change takes effect at once.
    env["FAKETIME_NO_CACHE"] = "1";
    return env;
}

void ClockFile::set(const std::string& setting)
{
    // The clock must never read half a file.
    std::ofstream(dir_ + "/clock.new") << setting << "\n";
    EXPECT_EQ(std::rename((dir_ + "/clock.new").c_str(), (dir_ + "/clock").c_str()), 0) << dir_;
}

std::string stoppedAt(Millis elapsed)
{
    const std::time_t seconds = utcSeconds(flagClockTime) + elapsed.count() / 1000;
    std::tm calendar{};
    char date[32], text[40];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", gmtime_r(&seconds, &calendar));
    std::snprintf(text, sizeof text, "%s.%03d", date, static_cast<int>(elapsed.count() % 1000));
    return text;
}

int frozenClockSeed(const std::string& time)
{
    // The program seeds with the low 32 bits of the nanosecond count, read as a signed int.
    const std::int64_t nanoseconds = static_cast<std::int64_t>(utcSeconds(time)) * 1000000000;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(nanoseconds & 0xffffffff));
}

std::string toString(const ExitStatus& s)
{
    return s.exited ? "exit status " + std::to_string(s.code) : "killed by signal " + std::to_string(s.signal);
}

// ---------------------------------------------------------------- program

Program::Program(const std::string& path, const LaunchOptions& options)
{
    XServer::instance();  // the server must be up, and DISPLAY set, before the fork

    const char* tmp = std::getenv("TMPDIR");
    std::string dirTemplate = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/e2e-XXXXXX";
    if (mkdtemp(dirTemplate.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed: " << std::strerror(errno);
        return;
    }
    tempDir_ = dirTemplate;
    // Before the program starts, so that the probe's window takes no focus from its.
    if (path != DISPLAY_PROBE_PATH && options.session != Session::Wayland) {
        displayPathUnconverted(options.session);
    }
    const std::string outPath = tempDir_ + "/stdout";
    const std::string errPath = tempDir_ + "/stderr";
    const std::string home = tempDir_ + "/home";
    const std::string runtimeDir = tempDir_ + "/runtime";
    mkdir(home.c_str(), 0700);
    mkdir(runtimeDir.c_str(), 0700);

    // The program's whole environment, built before the fork.
    std::map<std::string, std::string> env;
    for (const char* name : {"PATH", "LANG"}) {
        if (const char* value = std::getenv(name)) {
            env[name] = value;
        }
    }
    session_ = options.session;
    if (session_ == Session::X11) {
        env["DISPLAY"] = XServer::instance().displayName();
    } else {
        const Compositor& compositor = Compositor::instance(session_);
        if (!compositor.problem().empty()) {
            ADD_FAILURE() << compositor.problem();
            return;
        }
        if (session_ == Session::Wayland) {
            env["SDL_VIDEODRIVER"] = "wayland";
            // There is no GPU: Mesa then goes straight to its software
            // rasteriser, rather than warn on stderr of each device it lacks.
            env["LIBGL_ALWAYS_SOFTWARE"] = "1";
        } else {
            env["SDL_VIDEODRIVER"] = "x11";
            env["DISPLAY"] = compositor.xwaylandDisplay;
        }
        env["WAYLAND_DISPLAY"] = compositor.waylandSocket;  // a path, outside the program's own runtime directory
    }
    env["HOME"] = home;
    env["XDG_RUNTIME_DIR"] = runtimeDir;
    for (const auto& [name, value] : options.env) {
        env[name] = value;
    }
    for (const std::string& name : options.unset) {
        env.erase(name);
    }
    if (options.unbuffered) {
        const std::string preload = env.count("LD_PRELOAD") ? " " + env["LD_PRELOAD"] : "";
        env["LD_PRELOAD"] = UNBUFFERED_PATH + preload;
    }
    std::vector<std::string> envText;
    for (const auto& [name, value] : env) {
        envText.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& entry : envText) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    // The command line: the wrapper's words, if any, then the program.
    std::vector<char*> argv;
    for (const std::string& word : options.wrapper) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(const_cast<char*>(path.c_str()));
    argv.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        ADD_FAILURE() << "fork failed: " << std::strerror(errno);
        return;
    }
    if (child == 0) {
        dieWithParent(parent);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        // Nothing of the test's own leaks in: not its X connection, not its files.
        close_range(3, ~0U, 0);
        environ = envp.data();
        execvp(argv[0], argv.data());
        _exit(127);
    }
    pid_ = child;
}

Program::~Program()
{
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    if (!tempDir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(tempDir_, ignored);
    }
}

bool Program::running()
{
    // With no process (mkdtemp or fork failed) there is nothing to wait for;
    // waitpid(-1, ...) would reap any child, the X server among them.
    if (status_ || pid_ <= 0) {
        return false;
    }
    int status = 0;
    const pid_t result = waitpid(pid_, &status, WNOHANG);
    if (result == pid_) {
        ExitStatus s;
        s.exited = WIFEXITED(status);
        s.code = s.exited ? WEXITSTATUS(status) : -1;
        s.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        status_ = s;
        return false;
    }
    return true;
}

std::optional<ExitStatus> Program::waitExit(Millis timeout)
{
    waitUntil([this] { return !running(); }, timeout);
    return status_;
}

namespace {

// The process id SDL records on its windows, or -1.
long windowPid(Display* display, Window window)
{
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &remaining,
                           &data) == Success &&
        data != nullptr) {
        if (count == 1 && format == 32) {
            pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
        }
        XFree(data);
    }
    return pid;
}

std::string windowName(Display* display, Window window)
{
    char* name = nullptr;
    std::string result;
    if (XFetchName(display, window, &name) != 0 && name != nullptr) {
        result = name;
        XFree(name);
    }
    return result;
}

// The window's contents as the server has them, decoded through the visual's
// colour masks whatever its byte order; nullopt if they cannot be read now
// (gone, unmapped, or reaching past the screen while being resized).
// With a region (x, y, w, h), only that part of the window. With
// `asDrawn`, each 32-bit pixel is taken in this process's byte order, as a
// program of the same architecture wrote it, rather than the server's (see
// displayPathUnconverted).
std::optional<Image> readWindow(Display* display, Window window, const int* region = nullptr, bool asDrawn = false)
{
    XWindowAttributes attributes;
    lastXError = 0;
    if (XGetWindowAttributes(display, window, &attributes) == 0 || attributes.map_state != IsViewable) {
        return std::nullopt;
    }
    const int whole[4] = {0, 0, attributes.width, attributes.height};
    const int* r = region != nullptr ? region : whole;
    XImage* shot = XGetImage(display, window, r[0], r[1], static_cast<unsigned>(r[2]), static_cast<unsigned>(r[3]),
                             AllPlanes, ZPixmap);
    if (shot == nullptr) {
        return std::nullopt;
    }
    const auto channel = [](unsigned long pixel, unsigned long mask) {
        int shift = 0;
        while (mask != 0 && (mask & 1UL) == 0) {
            mask >>= 1;
            ++shift;
        }
        return static_cast<std::uint8_t>(((pixel >> shift) & mask) * 255 / (mask == 0 ? 1 : mask));
    };
    const bool ourWords = asDrawn && shot->bits_per_pixel == 32;
    const auto pixelAt = [&](int x, int y) -> unsigned long {
        if (!ourWords) {
            return XGetPixel(shot, x, y);
        }
        std::uint32_t word = 0;
        std::memcpy(&word, shot->data + static_cast<std::ptrdiff_t>(y) * shot->bytes_per_line + x * 4, sizeof word);
        return word;
    };
    Image image{r[2], r[3], {}};
    image.pixels.reserve(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const unsigned long pixel = pixelAt(x, y);
            image.pixels.push_back(
                {channel(pixel, shot->red_mask), channel(pixel, shot->green_mask), channel(pixel, shot->blue_mask)});
        }
    }
    XDestroyImage(shot);
    return image;
}

// True if some pixel of the window is not black: a frame has been drawn.
bool showsDrawing(Display* display, Window window, const int* region = nullptr)
{
    const std::optional<Image> image = readWindow(display, window, region);
    return image && std::any_of(image->pixels.begin(), image->pixels.end(), [](const Rgb& p) { return p != Rgb{}; });
}

// The top-level window of `pid` with `caption`, or 0.
Window findWindow(Display* display, pid_t pid, const std::string& caption)
{
    for (Window w : topLevelWindows(display)) {
        if (windowPid(display, w) == pid && windowName(display, w) == caption) {
            return w;
        }
    }
    return 0;
}

}  // namespace

// Reads where the program's window is in the compositor's output window, if
// it has one, from the compositor's tree: "x y width height shell title".
bool Program::findView()
{
    const std::string filter = "'.. | select(.pid? == " + std::to_string(pid_) +
                               ") | \"\\(.rect.x) \\(.rect.y) \\(.rect.width) \\(.rect.height) \\(.shell) \\(.name)\"'";
    std::istringstream view(
        Compositor::instance(session_).message("-t get_tree -r | jq -r " + filter));
    std::string shell, title;
    view >> view_[0] >> view_[1] >> view_[2] >> view_[3] >> shell;
    std::getline(view >> std::ws, title);
    const bool found = !view.fail() && title == caption_;
    if (found && shell != (session_ == Session::Wayland ? "xdg_shell" : "xwayland")) {
        wrongKind_ = "the window \"" + title + "\" is a client of the kind " + shell + ", not " + toString(session_);
        return false;
    }
    return found;
}

bool Program::waitForWindow(const std::string& caption, Millis timeout)
{
    Display* display = XServer::instance().connection();
    caption_ = caption;
    iconified_ = false;
    const bool found = waitUntil(
        [&] {
            if (session_ == Session::X11) {
                window_ = findWindow(display, pid_, caption);
                return !running() || (window_ != 0 && showsDrawing(display, window_));
            }
            // A Wayland client found on the private X server has reached X after all.
            if (findWindow(display, pid_, caption) != 0) {
                wrongKind_ = "the window \"" + caption + "\" is on the private X server, not in the compositor";
            }
            window_ = Compositor::instance(session_).output;
            return !running() || !wrongKind_.empty() || (findView() && showsDrawing(display, window_, view_));
        },
        timeout, 2ms);
    if (!wrongKind_.empty()) {
        ADD_FAILURE() << wrongKind_;
        window_ = 0;
        return false;
    }
    if (!found || !running()) {
        ADD_FAILURE() << "no drawn window \"" << caption << "\" of process " << pid_ << " within "
                      << (timeout * TEST_TIME_SCALE).count() << " ms"
                      << (status_ ? " (it ended: " + toString(*status_) + "; stderr: " + stderrText() + ")" : "");
        window_ = 0;
        return false;
    }
    // With no window manager, nobody else hands out the focus.
    XSetInputFocus(display, window_, RevertToParent, CurrentTime);
    XSync(display, False);
    return true;
}

bool Program::ensureWindow()
{
    if (session_ != Session::X11) {
        return (window_ != 0 && findView()) || (!caption_.empty() && waitForWindow(caption_));
    }
    Display* display = XServer::instance().connection();
    XWindowAttributes attributes;
    if (window_ != 0 && XGetWindowAttributes(display, window_, &attributes) != 0 &&
        (iconified_ || attributes.map_state == IsViewable)) {
        return true;
    }
    // The window is gone or was unmapped behind our back: find the real one again.
    return !caption_.empty() && waitForWindow(caption_);
}

void Program::sendKeys(const std::vector<unsigned long>& keysyms, bool press)
{
    // A key is let go without looking for the window, which may be going
    // with its program: Q and Escape end programs as they go down.
    if (press) {
        ensureWindow();
    }
    Display* display = XServer::instance().connection();
    for (unsigned long keysym : keysyms) {
        const KeyCode code = XKeysymToKeycode(display, static_cast<KeySym>(keysym));
        if (code == 0) {
            ADD_FAILURE() << "no keycode for keysym " << keysym;
            return;
        }
        XTestFakeKeyEvent(display, code, press ? True : False, CurrentTime);
    }
    XSync(display, False);
    // The compositor reads the server's events and its requests in turn, so by
    // its second answer it has mostly handed the key on.
    if (session_ != Session::X11) {
        XSync(display, False);  // the server has handed the key on by its next answer
        for (int request = 0; request < 2; ++request) {
            Compositor::instance(session_).message("-t get_version");
        }
    }
}

std::chrono::duration<double> Program::holdKeys(const std::vector<unsigned long>& keysyms, Millis duration)
{
    // Timed from the keys handed on together to their release handed on,
    // so that the time handing them on takes falls out.
    sendKeys(keysyms, true);
    const auto start = Clock::now();
    sleepFor(duration);
    sendKeys(keysyms, false);
    return Clock::now() - start;
}

void Program::resize(int width, int height)
{
    ensureWindow();
    if (session_ != Session::X11) {
        Compositor::instance(session_)
            .message("'[pid=" + std::to_string(pid_) + "] resize set width " + std::to_string(width) + " px height " +
                     std::to_string(height) + " px'");
        if (!waitUntil([&] { return findView() && view_[2] == width && view_[3] == height; }, 5s)) {
            ADD_FAILURE() << "window did not take the size " << width << " x " << height;
        }
        return;
    }
    Display* display = XServer::instance().connection();
    XResizeWindow(display, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSync(display, False);
    const bool done = waitUntil(
        [&] {
            XWindowAttributes attributes;
            return XGetWindowAttributes(display, window_, &attributes) != 0 && attributes.width == width &&
                   attributes.height == height;
        },
        5s);
    if (!done) {
        ADD_FAILURE() << "window did not take the size " << width << " x " << height;
    }
}

bool Program::resizable()
{
    EXPECT_EQ(session_, Session::X11) << "resizable() reads X11's size hints";
    ensureWindow();
    XSizeHints hints{};
    long supplied = 0;
    XGetWMNormalHints(XServer::instance().connection(), window_, &hints, &supplied);
    const long fixed = PMinSize | PMaxSize;
    return (hints.flags & fixed) != fixed || hints.min_width != hints.max_width ||
           hints.min_height != hints.max_height;
}

void Program::setMapped(bool mapped)
{
    EXPECT_EQ(session_, Session::X11) << "setMapped() maps X11 windows";
    ensureWindow();
    Display* display = XServer::instance().connection();
    mapped ? XMapWindow(display, window_) : XUnmapWindow(display, window_);
    XSync(display, False);
    iconified_ = !mapped;
    if (!waitUntil([&] { return isViewable(display, window_) == mapped; }, 5s)) {
        ADD_FAILURE() << "the window was not " << (mapped ? "mapped" : "unmapped");
    } else if (mapped) {
        XSetInputFocus(display, window_, RevertToParent, CurrentTime);
        XSync(display, False);
    }
}

void Program::closeWindow()
{
    ensureWindow();
    if (session_ != Session::X11) {
        Compositor::instance(session_).message("'[pid=" + std::to_string(pid_) + "] kill'");
        return;
    }
    Display* display = XServer::instance().connection();
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window_;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window_, False, NoEventMask, &event);
    XSync(display, False);
}

void Program::sendSignal(int signo)
{
    if (pid_ > 0 && running()) {
        kill(pid_, signo);
    }
}

Image Program::capture()
{
    std::optional<Image> image = tryCapture();
    if (!image) {
        ADD_FAILURE() << "cannot read the window (X error " << lastXError << ")";
        return {};
    }
    return *image;
}

// True where SDL hands the X server each pixel in the program's own byte
// order without converting it to the server's. That happens only where the
// two differ, as in a big-endian build's tests under qemu on a little-endian
// machine's Xvfb or the compositor's XWayland: SDL's software renderer and
// Mesa's software OpenGL both leave the bytes as drawn, so the server shows
// green for red, red for green and the unused byte for blue, while the
// program's colours are all there, in the program's order. Proved once per
// session, where the orders differ, with the display probe: if its colour
// reads back as drawn only in this process's order, pictures are read that
// way, and a program that draws wrong colours still fails. If it reads back
// wrong both ways, the display itself is at fault, and the test fails
// saying so.
bool Program::displayPathUnconverted(Session session)
{
    if (session == Session::X11) {
        static const bool onX = probeDisplayPath(Session::X11);
        return onX;
    }
    static const bool throughXWayland = probeDisplayPath(Session::XWayland);
    return throughXWayland;
}

bool Program::probeDisplayPath(Session session)
{
    if (!otherByteOrder()) {
        return false;
    }
    LaunchOptions options;
    options.session = session;
    Program probe(DISPLAY_PROBE_PATH, options);
    if (!probe.waitForWindow("display probe")) {
        return false;
    }
    Display* display = XServer::instance().connection();
    const int* region = session == Session::X11 ? nullptr : probe.view_;
    const Rgb drawn{probeRed, probeGreen, probeBlue};
    const std::optional<Image> shown = readWindow(display, probe.window_, region);
    const std::optional<Image> asDrawn = readWindow(display, probe.window_, region, true);
    if (!shown || !asDrawn) {
        ADD_FAILURE() << "cannot read the display probe's window (X error " << lastXError << ")";
        return false;
    }
    if (shown->at(8, 8) == drawn) {
        return false;
    }
    if (asDrawn->at(8, 8) == drawn) {
        std::fprintf(stderr,
                     "x11_harness: on %s, whose byte order is not the programs', SDL hands the server their pixels "
                     "unconverted (the display probe drew %s, the server shows %s), so pictures are read in the "
                     "programs' byte order\n",
                     toString(session).c_str(), toString(drawn).c_str(), toString(shown->at(8, 8)).c_str());
        return true;
    }
    ADD_FAILURE() << "the display changes colours by itself: on " << toString(session) << " the display probe drew "
                  << toString(drawn) << ", the X server shows " << toString(shown->at(8, 8)) << ", or "
                  << toString(asDrawn->at(8, 8)) << " in the programs' byte order";
    return false;
}

std::optional<Image> Program::tryCapture()
{
    if (!ensureWindow()) {
        return std::nullopt;
    }
    return readWindow(XServer::instance().connection(), window_, session_ == Session::X11 ? nullptr : view_,
                      session_ != Session::Wayland && displayPathUnconverted(session_));
}

std::pair<Image, bool> Program::waitForPicture(const std::function<bool(const Image&)>& predicate, Millis timeout)
{
    Image last;
    bool held = false;
    waitUntil(
        [&] {
            if (!running()) {
                ADD_FAILURE() << "the program ended (" << toString(*status_) << ") while a picture was awaited";
                return true;
            }
            if (std::optional<Image> image = tryCapture()) {
                last = std::move(*image);
                held = predicate(last);
            }
            return held;
        },
        timeout);
    return {last, held};
}

std::string Program::stdoutText() const
{
    return readFile(tempDir_ + "/stdout");
}

std::string Program::stderrText() const
{
    return readFile(tempDir_ + "/stderr");
}

// ---------------------------------------------------------------- helpers

bool waitUntil(const std::function<bool()>& condition, Millis timeout, Millis interval)
{
    const auto deadline = Clock::now() + timeout * TEST_TIME_SCALE;
    while (true) {
        if (condition()) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        sleepFor(interval);
    }
}

}  // namespace harness
