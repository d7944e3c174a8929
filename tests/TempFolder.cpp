#include "TempFolder.h"

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

namespace fs = std::filesystem;

namespace orvitest {

TTempFolder::TTempFolder() {
    // A random part as well as a counter: test executables run side by side.
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (;;) {
        _path = fs::temp_directory_path() /
                ("orvi-test-" + std::to_string(rd()) + "-" + std::to_string(counter.fetch_add(1)));
        if (fs::create_directory(_path)) {
            break;
        }
    }
}

TTempFolder::~TTempFolder() {
    std::error_code ec;
    fs::remove_all(_path, ec);
}

rtl::UnicodeString TTempFolder::Text() const {
    return ToText(_path);
}

rtl::UnicodeString TTempFolder::Text(const fs::path& relative) const {
    return ToText(_path / relative);
}

rtl::UnicodeString ToText(const fs::path& path) {
    const std::u8string s = path.u8string();
    return rtl::Utf8ToString(std::string_view(reinterpret_cast<const char*>(s.data()), s.size()));
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace orvitest
