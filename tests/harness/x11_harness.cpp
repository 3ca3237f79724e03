// gtest comes before the X headers, whose macros would break it.
#include <gtest/gtest.h>

#include "x11_harness.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

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

void sleepFor(Millis duration)
{
    std::this_thread::sleep_for(duration);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
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

std::string toString(const Rgb& c)
{
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

void Image::savePpm(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    for (const Rgb& p : pixels) {
        out.put(static_cast<char>(p.r)).put(static_cast<char>(p.g)).put(static_cast<char>(p.b));
    }
}

// ---------------------------------------------------------------- X server

XServer& XServer::instance()
{
    static XServer server;
    return server;
}

XServer::XServer()
{
    int displayPipe[2];
    if (pipe(displayPipe) != 0) {
        std::perror("pipe");
        std::abort();
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
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1200x24", "-nolisten", "tcp",
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
        std::fprintf(stderr, "x11_harness: Xvfb did not start (is the xvfb package installed?)\n");
        std::abort();
    }
    displayName_ = ":" + number;
    setenv("DISPLAY", displayName_.c_str(), 1);

    display_ = XOpenDisplay(displayName_.c_str());
    if (display_ == nullptr) {
        std::fprintf(stderr, "x11_harness: cannot open display %s\n", displayName_.c_str());
        std::abort();
    }
    XSetErrorHandler(recordXError);

    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display_, &eventBase, &errorBase, &major, &minor)) {
        std::fprintf(stderr, "x11_harness: the X server has no XTEST extension\n");
        std::abort();
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

// ---------------------------------------------------------------- clocks

std::map<std::string, std::string> frozenClockEnv(const std::string& frozenTime)
{
    std::map<std::string, std::string> env = fakeTimeBase();
    // An absolute time without '@' stops the wall clock there.
    env["FAKETIME"] = frozenTime;
    return env;
}

std::map<std::string, std::string> steppableClockEnv(const std::string& offsetFile)
{
    std::map<std::string, std::string> env = fakeTimeBase();
    env["FAKETIME_TIMESTAMP_FILE"] = offsetFile;
    // Re-read the file on every clock call, so a step takes effect at once.
    env["FAKETIME_NO_CACHE"] = "1";
    return env;
}

std::string toString(const ExitStatus& s)
{
    return s.exited ? "exit status " + std::to_string(s.code) : "killed by signal " + std::to_string(s.signal);
}

// ---------------------------------------------------------------- program

Program::Program(const std::string& path, const LaunchOptions& options)
{
    XServer::instance();  // the server must be up, and DISPLAY set, before the fork

    char dirTemplate[] = "/tmp/e2e-XXXXXX";
    if (mkdtemp(dirTemplate) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
        return;
    }
    tempDir_ = dirTemplate;
    const std::string outPath = tempDir_ + "/stdout";
    const std::string errPath = tempDir_ + "/stderr";

    // The command line: the wrapper's words, if any, then the program.
    std::vector<char*> argv;
    for (const std::string& word : options.wrapper) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(const_cast<char*>(path.c_str()));
    argv.push_back(nullptr);

    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        dieWithParent(parent);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        for (const std::string& name : options.unset) {
            unsetenv(name.c_str());
        }
        for (const auto& [name, value] : options.env) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
}

Program::~Program()
{
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    if (!tempDir_.empty()) {
        std::remove((tempDir_ + "/stdout").c_str());
        std::remove((tempDir_ + "/stderr").c_str());
        rmdir(tempDir_.c_str());
    }
}

bool Program::running()
{
    if (status_) {
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

bool isViewable(Display* display, Window window)
{
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, window, &attributes) != 0 && attributes.map_state == IsViewable;
}

// The top-level window of `pid` with `caption`, or 0.
Window findWindow(Display* display, pid_t pid, const std::string& caption)
{
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) {
        return 0;
    }
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        if (windowPid(display, children[i]) == pid && windowName(display, children[i]) == caption) {
            found = children[i];
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

}  // namespace

bool Program::waitForWindow(const std::string& caption, Millis timeout)
{
    Display* display = XServer::instance().connection();
    caption_ = caption;
    const bool found = waitUntil(
        [&] {
            window_ = findWindow(display, pid_, caption);
            return window_ != 0 && isViewable(display, window_);
        },
        timeout);
    if (!found) {
        ADD_FAILURE() << "no viewable window \"" << caption << "\" of process " << pid_ << " within "
                      << timeout.count() << " ms";
        return false;
    }
    // With no window manager, nobody else hands out the focus.
    XSetInputFocus(display, window_, RevertToParent, CurrentTime);
    XSync(display, False);
    return true;
}

bool Program::ensureWindow()
{
    Display* display = XServer::instance().connection();
    XWindowAttributes attributes;
    if (window_ != 0 && XGetWindowAttributes(display, window_, &attributes) != 0) {
        return true;
    }
    // SDL replaces its first window by a new one when it sets up OpenGL, so a
    // window found that early can vanish: find the program's window again.
    return !caption_.empty() && waitForWindow(caption_, 5s);
}

void Program::sendKey(unsigned long keysym, bool press)
{
    ensureWindow();
    Display* display = XServer::instance().connection();
    const KeyCode code = XKeysymToKeycode(display, static_cast<KeySym>(keysym));
    if (code == 0) {
        ADD_FAILURE() << "no keycode for keysym " << keysym;
        return;
    }
    XTestFakeKeyEvent(display, code, press ? True : False, CurrentTime);
    XSync(display, False);
}

void Program::keyDown(unsigned long keysym)
{
    sendKey(keysym, true);
}

void Program::keyUp(unsigned long keysym)
{
    sendKey(keysym, false);
}

void Program::tapKey(unsigned long keysym)
{
    sendKey(keysym, true);
    sendKey(keysym, false);
}

std::chrono::duration<double> Program::holdKeys(const std::vector<unsigned long>& keysyms, Millis duration)
{
    for (unsigned long key : keysyms) {
        keyDown(key);
    }
    const auto start = Clock::now();
    sleepFor(duration);
    const auto end = Clock::now();
    for (unsigned long key : keysyms) {
        keyUp(key);
    }
    return end - start;
}

void Program::resize(int width, int height)
{
    ensureWindow();
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

void Program::iconify()
{
    ensureWindow();
    Display* display = XServer::instance().connection();
    XUnmapWindow(display, window_);
    XSync(display, False);
    waitUntil([&] { return !isViewable(display, window_); }, 5s);
}

void Program::restore()
{
    ensureWindow();
    Display* display = XServer::instance().connection();
    XMapWindow(display, window_);
    XSync(display, False);
    if (!waitUntil([&] { return isViewable(display, window_); }, 5s)) {
        ADD_FAILURE() << "window was not mapped again";
    }
    XSetInputFocus(display, window_, RevertToParent, CurrentTime);
    XSync(display, False);
}

void Program::closeWindow()
{
    ensureWindow();
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
    Display* display = XServer::instance().connection();
    Image image;
    XWindowAttributes attributes;
    XImage* shot = nullptr;
    // Two tries: the window found first may be replaced between the size query and the read.
    for (int attempt = 0; attempt < 2 && shot == nullptr; ++attempt) {
        if (!ensureWindow() || XGetWindowAttributes(display, window_, &attributes) == 0) {
            continue;
        }
        lastXError = 0;
        shot = XGetImage(display, window_, 0, 0, static_cast<unsigned>(attributes.width),
                         static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    }
    if (shot == nullptr) {
        ADD_FAILURE() << "XGetImage failed (X error " << lastXError << ")";
        return image;
    }
    // Decode each channel through its mask, whatever the visual's byte order.
    const auto channel = [](unsigned long pixel, unsigned long mask) {
        int shift = 0;
        while (mask != 0 && (mask & 1UL) == 0) {
            mask >>= 1;
            ++shift;
        }
        return static_cast<std::uint8_t>(((pixel >> shift) & mask) * 255 / (mask == 0 ? 1 : mask));
    };
    image.width = attributes.width;
    image.height = attributes.height;
    image.pixels.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const unsigned long pixel = XGetPixel(shot, x, y);
            image.pixels[static_cast<std::size_t>(y) * image.width + x] = {
                channel(pixel, shot->red_mask), channel(pixel, shot->green_mask), channel(pixel, shot->blue_mask)};
        }
    }
    XDestroyImage(shot);
    return image;
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
            last = capture();
            held = last.width > 0 && predicate(last);
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

std::vector<std::string> statusRecords(const std::string& text)
{
    std::vector<std::string> records;
    std::size_t start = 0;
    if (!text.empty() && text[0] == '\r') {
        start = 1;
    }
    while (start <= text.size()) {
        const std::size_t end = text.find('\r', start);
        if (end == std::string::npos) {
            if (start < text.size()) {
                records.push_back(text.substr(start));
            }
            break;
        }
        records.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return records;
}

bool waitUntil(const std::function<bool()>& condition, Millis timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (true) {
        if (condition()) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        sleepFor(10ms);
    }
}

}  // namespace harness
