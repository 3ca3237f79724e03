#include "programs.h"

#include <regex>

namespace harness {

const Subject dravin{Kind::Dravin, "dravin", DRAVIN_PATH, "Dravin", R"(delta: (-?\d+\.\d{9}))"};
const Subject mobrix{Kind::Mobrix, "mobrix", MOBRIX_PATH, "Mobrix",
                     R"(delta: (-?\d+\.\d{9})   x: (\d+\.\d{6})   y: (\d+\.\d{6})   w: (\d+\.\d{6})   h: (\d+\.\d{6}))"};
const Subject quenzel{Kind::Quenzel, "quenzel", QUENZEL_PATH, "Quenzel",
                      R"(delta: (-?\d+\.\d{8}), \trotation: (-?\d+\.\d{8}))"};

StatusStream parseStatus(const Subject& s, std::string out, Stream stream)
{
    StatusStream parsed;
    if (out.empty() || out.front() != '\r') {
        parsed.fault = out.empty() ? "no status record" : "the stream does not start with '\\r'";
        return parsed;
    }
    if (stream == Stream::Finished && s.kind == Kind::Quenzel) {
        if (out.back() != '\n') {
            parsed.fault = "quenzel did not end its status line when it quit";
            return parsed;
        }
        out.pop_back();
    }
    if (stream == Stream::Live) {
        out.erase(out.rfind('\r'));
    }
    if (const std::size_t newline = out.find('\n'); newline != std::string::npos) {
        parsed.fault = "a newline inside the status stream at byte " + std::to_string(newline);
        return parsed;
    }
    const std::regex format(s.record);
    std::smatch m;
    for (std::size_t begin = 1; begin <= out.size();) {
        std::size_t end = out.find('\r', begin);
        if (end == std::string::npos) {
            end = out.size();
        }
        const std::string text = out.substr(begin, end - begin);
        if (!std::regex_match(text, m, format)) {
            parsed.fault = "record at byte " + std::to_string(begin - 1) + ": \"" + text + "\"";
            return parsed;
        }
        Record r{begin - 1, {}};  // the offset of the '\r' before it
        for (std::size_t i = 1; i < m.size(); ++i) {
            r.values.push_back(std::stod(m[i]));
        }
        parsed.records.push_back(r);
        begin = end + 1;
    }
    return parsed;
}

}  // namespace harness
