#include "platform/SettingsStore.h"

#include "platform/AsciiCase.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace platform {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldHeader = "REGEDIT4";
constexpr std::string_view kDwordPrefix = "dword:";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUserHive = "HKEY_CURRENT_USER\\";
constexpr char kSeparator = '\\';
constexpr size_t kDwordDigits = 8;
constexpr const char* kAsideSuffix = ".unreadable";

std::vector<std::string_view> splitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t begin = 0;
    while (begin <= path.size()) {
        size_t end = path.find(kSeparator, begin);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > begin)
            parts.push_back(path.substr(begin, end - begin));
        begin = end + 1;
    }
    return parts;
}

// Registry-export quoting: backslash and quote are escaped; so are line breaks,
// which would otherwise break the line-based layout.
std::string quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out + "\"";
}

class ParseError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads a quoted text at `pos` (on the opening quote); leaves `pos` after the closing quote.
std::string unquote(std::string_view line, size_t& pos) {
    if (pos >= line.size() || line[pos] != '"')
        throw ParseError("a quoted name or text was expected");
    std::string out;
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c == '\\') {
            if (++pos >= line.size())
                break;
            switch (line[pos]) {
                case '\\':
                    out += '\\';
                    break;
                case '"':
                    out += '"';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                default:
                    throw ParseError("an unknown escape in a quoted text");
            }
        } else {
            out += c;
        }
    }
    throw ParseError("a quoted text is not closed");
}

SettingsValue parseValueData(std::string name, std::string_view data) {
    SettingsValue value;
    value.name = std::move(name);
    if (!data.empty() && data.front() == '"') {
        size_t pos = 0;
        value.type = SettingsValueType::Text;
        value.text = unquote(data, pos);
        if (pos != data.size())
            throw ParseError("text after a quoted value");
    } else if (data.starts_with(kDwordPrefix)) {
        std::string_view digits = data.substr(kDwordPrefix.size());
        if (digits.empty() || digits.size() > kDwordDigits ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos)
            throw ParseError("a dword value needs 1 to 8 hexadecimal digits");
        value.type = SettingsValueType::Dword;
        value.dword = static_cast<uint32_t>(std::strtoul(std::string(digits).c_str(), nullptr, 16));
    } else if (data.starts_with("hex")) {
        value.type = SettingsValueType::Other;
        value.text = std::string(data);
    } else {
        throw ParseError("a value must be a quoted text, dword: or hex");
    }
    return value;
}

std::string trimLineEnd(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    return line;
}

std::filesystem::path asidePathFor(const std::filesystem::path& file) {
    std::filesystem::path aside = file;
    aside += kAsideSuffix;
    for (int n = 1; std::filesystem::exists(aside) || std::filesystem::is_symlink(aside); ++n) {
        aside = file;
        aside += std::string(kAsideSuffix) + "." + std::to_string(n);
    }
    return aside;
}

void writeKey(std::ostringstream& out, const SettingsStore::Key& key, const std::string& path) {
    if (!path.empty()) {
        // The reader takes one leading hive name off a key line: a key whose own
        // path begins with it is written with it twice, so it reads back as it was.
        out << "\n[" << (std::string_view(path).starts_with(kUserHive) ? kUserHive : "") << path << "]\n";
        for (const auto& value : key.values) {
            out << (value.name.empty() ? std::string("@") : quote(value.name)) << '=';
            switch (value.type) {
                case SettingsValueType::Text:
                    out << quote(value.text);
                    break;
                case SettingsValueType::Dword: {
                    char digits[kDwordDigits + 1];
                    std::snprintf(digits, sizeof digits, "%08x", value.dword);
                    out << kDwordPrefix << digits;
                    break;
                }
                case SettingsValueType::Other:
                    out << value.text;
                    break;
            }
            out << '\n';
        }
    }
    for (const auto& sub : key.subkeys)
        writeKey(out, sub, path.empty() ? sub.name : path + kSeparator + sub.name);
}

}  // namespace

SettingsStore::SettingsStore(std::filesystem::path file) : file_(std::move(file)) {
    read();
}

void SettingsStore::read() {
    std::error_code ec;
    if (!std::filesystem::exists(file_, ec) && !ec)
        return;
    std::string problem;
    std::ifstream in(file_, std::ios::binary);
    if (!in) {
        problem = std::string("it cannot be opened: ") + std::strerror(errno);
    } else {
        try {
            std::string line;
            bool headerSeen = false;
            Key* current = nullptr;
            int lineNumber = 0;
            std::string pendingName;
            while (std::getline(in, line)) {
                ++lineNumber;
                if (lineNumber == 1 && line.starts_with(kUtf8Bom))
                    line.erase(0, kUtf8Bom.size());
                line = trimLineEnd(std::move(line));
                try {
                    if (line.empty() || line.front() == ';')
                        continue;
                    if (!headerSeen) {
                        if (line != kHeader && line != kOldHeader)
                            throw ParseError("the first line is not a registry-export header");
                        headerSeen = true;
                        continue;
                    }
                    if (line.front() == '[') {
                        if (line.back() != ']' || line.size() < 3)
                            throw ParseError("a key line must be [path]");
                        std::string_view path = std::string_view(line).substr(1, line.size() - 2);
                        if (path.starts_with(kUserHive))
                            path.remove_prefix(kUserHive.size());
                        // Values above the first key have no place in the saved layout:
                        // reading them would lose them at the next save.
                        if (splitPath(path).empty())
                            throw ParseError("a key line must name a key");
                        current = &create(path);
                        continue;
                    }
                    if (!current)
                        throw ParseError("a value before the first key");
                    size_t pos = 0;
                    std::string name;
                    if (line.front() == '@') {
                        pos = 1;
                    } else {
                        name = unquote(line, pos);
                    }
                    if (pos >= line.size() || line[pos] != '=')
                        throw ParseError("'=' expected after the value name");
                    std::string data = line.substr(pos + 1);
                    // Long hex values continue on the next lines after a trailing backslash.
                    while (data.starts_with("hex") && !data.empty() && data.back() == '\\') {
                        data.pop_back();
                        std::string more;
                        if (!std::getline(in, more))
                            throw ParseError("the file ends inside a hex value");
                        ++lineNumber;
                        data += more.substr(std::min(more.find_first_not_of(" \t"), more.size()));
                        // Blanks at the end do not count, as at any line's end (the saved line
                        // would lose them); a backslash they hid continues the value, as it will
                        // once saved.
                        data = trimLineEnd(std::move(data));
                    }
                    SettingsValue value = parseValueData(std::move(name), data);
                    auto it = std::find_if(
                        current->values.begin(), current->values.end(),
                        [&](const SettingsValue& v) { return equalIgnoringAsciiCase(v.name, value.name); });
                    if (it != current->values.end())
                        *it = std::move(value);
                    else
                        current->values.push_back(std::move(value));
                } catch (const ParseError& e) {
                    throw ParseError("line " + std::to_string(lineNumber) + ": " + e.what());
                }
            }
            if (in.bad())
                throw ParseError(std::string("reading failed: ") + std::strerror(errno));
            if (!headerSeen && lineNumber > 0)
                throw ParseError("the file has no registry-export header");
            dirty_ = false;
        } catch (const ParseError& e) {
            problem = e.what();
        }
    }
    if (problem.empty())
        return;

    root_ = Key{};
    const std::filesystem::path aside = asidePathFor(file_);
    std::filesystem::rename(file_, aside, ec);
    if (ec) {
        saveBlocked_ = true;
        loadProblem_ = file_.string() + " could not be read (" + problem +
                       ") and could not be set aside; it will not be overwritten";
    } else {
        loadProblem_ =
            file_.string() + " could not be read (" + problem + "); it was kept as " + aside.string();
    }
}

const SettingsStore::Key* SettingsStore::find(std::string_view path) const {
    const Key* key = &root_;
    for (std::string_view part : splitPath(path)) {
        auto it = std::find_if(key->subkeys.begin(), key->subkeys.end(),
                               [&](const Key& k) { return equalIgnoringAsciiCase(k.name, part); });
        if (it == key->subkeys.end())
            return nullptr;
        key = &*it;
    }
    return key;
}

SettingsStore::Key* SettingsStore::find(std::string_view path) {
    return const_cast<Key*>(std::as_const(*this).find(path));
}

SettingsStore::Key& SettingsStore::create(std::string_view path) {
    Key* key = &root_;
    for (std::string_view part : splitPath(path)) {
        auto it = std::find_if(key->subkeys.begin(), key->subkeys.end(),
                               [&](const Key& k) { return equalIgnoringAsciiCase(k.name, part); });
        if (it == key->subkeys.end()) {
            auto at = std::find_if(key->subkeys.begin(), key->subkeys.end(),
                                   [&](const Key& k) { return lessIgnoringAsciiCase(part, k.name); });
            it = key->subkeys.insert(at, Key{std::string(part), {}, {}});
            dirty_ = true;
        }
        key = &*it;
    }
    return *key;
}

bool SettingsStore::keyExists(std::string_view key) const {
    return find(key) != nullptr;
}

void SettingsStore::createKey(std::string_view key) {
    create(key);
}

std::vector<std::string> SettingsStore::subkeys(std::string_view key) const {
    std::vector<std::string> names;
    if (const Key* k = find(key)) {
        for (const auto& sub : k->subkeys)
            names.push_back(sub.name);
    }
    return names;
}

bool SettingsStore::deleteKey(std::string_view key) {
    auto parts = splitPath(key);
    if (parts.empty())
        return false;
    const std::string_view last = parts.back();
    parts.pop_back();
    Key* parent = &root_;
    for (std::string_view part : parts) {
        auto it = std::find_if(parent->subkeys.begin(), parent->subkeys.end(),
                               [&](const Key& k) { return equalIgnoringAsciiCase(k.name, part); });
        if (it == parent->subkeys.end())
            return false;
        parent = &*it;
    }
    auto it = std::find_if(parent->subkeys.begin(), parent->subkeys.end(),
                           [&](const Key& k) { return equalIgnoringAsciiCase(k.name, last); });
    if (it == parent->subkeys.end())
        return false;
    parent->subkeys.erase(it);
    dirty_ = true;
    return true;
}

std::optional<SettingsValue> SettingsStore::findValue(std::string_view key, std::string_view name) const {
    const Key* k = find(key);
    if (!k)
        return std::nullopt;
    for (const auto& value : k->values) {
        if (equalIgnoringAsciiCase(value.name, name))
            return value;
    }
    return std::nullopt;
}

std::vector<SettingsValue> SettingsStore::values(std::string_view key) const {
    const Key* k = find(key);
    return k ? k->values : std::vector<SettingsValue>{};
}

void SettingsStore::setValue(std::string_view key, SettingsValue value) {
    Key& k = create(key);
    dirty_ = true;
    for (auto& existing : k.values) {
        if (equalIgnoringAsciiCase(existing.name, value.name)) {
            value.name = existing.name;
            existing = std::move(value);
            return;
        }
    }
    k.values.push_back(std::move(value));
}

void SettingsStore::setText(std::string_view key, std::string_view name, std::string_view text) {
    setValue(key, SettingsValue{std::string(name), SettingsValueType::Text, std::string(text), 0});
}

void SettingsStore::setDword(std::string_view key, std::string_view name, uint32_t value) {
    setValue(key, SettingsValue{std::string(name), SettingsValueType::Dword, {}, value});
}

bool SettingsStore::deleteValue(std::string_view key, std::string_view name) {
    Key* k = find(key);
    if (!k)
        return false;
    auto it = std::find_if(k->values.begin(), k->values.end(),
                           [&](const SettingsValue& v) { return equalIgnoringAsciiCase(v.name, name); });
    if (it == k->values.end())
        return false;
    k->values.erase(it);
    dirty_ = true;
    return true;
}

std::string SettingsStore::serialize() const {
    std::ostringstream out;
    out << kHeader << '\n';
    writeKey(out, root_, "");
    return out.str();
}

std::optional<std::string> SettingsStore::save() {
    if (file_.empty())
        return std::nullopt;
    if (saveBlocked_)
        return file_.string() + " could not be read and is kept as it is";
    std::error_code ec;
    const std::filesystem::path folder = file_.parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, ec);
    if (ec)
        return "cannot create " + folder.string() + ": " + ec.message();

    std::string pattern = file_.string() + ".XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        return "cannot write " + file_.string() + ": " + std::strerror(errno);
    const std::string data = serialize();
    size_t done = 0;
    int error = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && std::rename(pattern.c_str(), file_.c_str()) != 0)
        error = errno;
    if (error) {
        ::unlink(pattern.c_str());
        return "cannot write " + file_.string() + ": " + std::strerror(error);
    }
    dirty_ = false;
    return std::nullopt;
}

std::filesystem::path defaultSettingsFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path base;
    if (config && *config) {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home ? home : ".") / ".config";
    }
    return base / "frisson" / "settings.reg";
}

}  // namespace platform
