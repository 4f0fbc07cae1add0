#include "desktop.h"

#include "hivefile.h"

#include <winreg.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace lwreg {

namespace {

struct MimeEntry {
    const char16_t* extension;
    std::vector<std::string> types;
};

// The registered type first, then the aliases other programs still declare.
const MimeEntry kMimeTypes[] = {
    {u".chm", {"application/vnd.ms-htmlhelp", "application/x-chm"}},
};

constexpr char16_t kClassesRoot[] = u"HKEY_CLASSES_ROOT";

// A REG_SZ or REG_EXPAND_SZ value's text up to its first terminator.
bool StringValue(const Key* key, std::u16string_view name, std::u16string* text) {
    if (!key) return false;
    const Value* value = key->FindValue(name);
    if (!value || (value->type != 1 && value->type != 2)) return false;
    text->clear();
    for (size_t i = 0; i + 1 < value->data.size(); i += 2) {
        char16_t c = char16_t(value->data[i] | (value->data[i + 1] << 8));
        if (c == 0) break;
        text->push_back(c);
    }
    return !text->empty();
}

bool HasControl(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

// One argument of an Exec line: quoted when the desktop entry rules ask for
// it, with '%' doubled since it would start a field code.
std::string ExecArgument(std::string_view arg) {
    static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    bool quote = arg.empty() || arg.find_first_of(kReserved) != std::string_view::npos;
    std::string out;
    if (quote) out += '"';
    for (char c : arg) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    if (quote) out += '"';
    return out;
}

// A desktop entry's string values escape the backslash once more.
std::string EntryString(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '\\') out += '\\';
        out += c;
    }
    return out;
}

bool HostPath(std::u16string_view devicePath, std::string* host) {
    std::u16string path(devicePath);
    char buffer[4096];
    if (DeviceToHostPath(reinterpret_cast<LPCWSTR>(path.c_str()), buffer, sizeof buffer) == 0)
        return false;
    *host = buffer;
    return !HasControl(*host);
}

// Splits what follows the program into arguments; double quotes group blanks.
std::vector<std::u16string> SplitArguments(std::u16string_view rest) {
    std::vector<std::u16string> args;
    size_t i = 0;
    while (i < rest.size()) {
        while (i < rest.size() && (rest[i] == u' ' || rest[i] == u'\t')) ++i;
        if (i == rest.size()) break;
        std::u16string arg;
        bool quoted = false;
        for (; i < rest.size(); ++i) {
            char16_t c = rest[i];
            if (c == u'"') quoted = !quoted;
            else if (!quoted && (c == u' ' || c == u'\t')) break;
            else arg += c;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x + 32);
        if (y >= 'A' && y <= 'Z') y = char(y + 32);
        if (x != y) return false;
    }
    return true;
}

std::string DisplayName(const std::string& hostProgram) {
    std::string name = hostProgram.substr(hostProgram.find_last_of('/') + 1);
    if (name.size() > 4 && EqualIgnoringAsciiCase(std::string_view(name).substr(name.size() - 4), ".exe"))
        name.resize(name.size() - 4);
    if (!name.empty() && name[0] >= 'a' && name[0] <= 'z') name[0] = char(name[0] - 32);
    return name;
}

std::string DesktopId(std::u16string_view className) {
    std::string id = "leafwise-";
    for (char c : ToUtf8(className)) {
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
        bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        id += plain ? c : '-';
    }
    return id + ".desktop";
}

bool EndsWith(const std::string& s, std::string_view tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool IsFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The DefaultIcon value ("\"path\", index") gives an icon the desktop can show
// when it names an image file, or when a PNG or SVG of the program's name lies
// beside it; icons inside the program's own resources are not exported.
std::string IconFor(const Hive& hive, std::u16string_view className) {
    std::u16string value;
    std::u16string keyPath = std::u16string(kClassesRoot) + u'\\' + std::u16string(className) +
                             u"\\DefaultIcon";
    if (!StringValue(hive.Find(keyPath), u"", &value)) return "";
    std::u16string path;
    if (value[0] == u'"') {
        size_t close = value.find(u'"', 1);
        if (close == std::u16string::npos) return "";
        path = value.substr(1, close - 1);
    } else {
        path = value.substr(0, value.find(u','));
    }
    std::string host;
    if (!HostPath(path, &host)) return "";
    for (std::string_view image : {".png", ".svg", ".xpm"})
        if (EndsWith(host, image) && IsFile(host)) return host;
    std::string stem = host;
    size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && dot > stem.find_last_of('/')) stem.resize(dot);
    for (std::string_view image : {".png", ".svg"})
        if (IsFile(stem + std::string(image))) return stem + std::string(image);
    return "";
}

// Replaces the file only when its content differs, through a temporary file
// and a rename so a reader never sees half of it. Returns true when written.
bool WriteIfChanged(const std::string& path, const std::string& content) {
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::string old;
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) old.append(buffer, got);
        std::fclose(f);
        if (old == content) return false;
    }
    std::string temp = path + ".tmp-" + std::to_string(getpid());
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return false;
    bool ok = write(fd, content.data(), content.size()) == ssize_t(content.size());
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

std::string ReadText(const std::string& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
        std::fclose(f);
    }
    return text;
}

// update-desktop-database is optional: without it the desktop still finds the
// entry through mimeapps.list.
void RefreshDesktopDatabase(const std::string& folder) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char tool[] = "update-desktop-database";
    char quiet[] = "-q";
    std::string dir = folder;
    char* argv[] = {tool, quiet, dir.data(), nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, tool, &actions, nullptr, argv, environ) == 0) {
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}

std::string_view Trim(std::string_view s) {
    size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// Sets, in one section of mimeapps.list, the line of each type; `edit` gets the
// old list ("" when the type had no line) and returns the new one.
template <typename Edit>
void EditSection(std::vector<std::string>& lines, std::string_view section,
                 const std::vector<std::string>& types, Edit edit) {
    std::string header = "[" + std::string(section) + "]";
    size_t begin = lines.size(), end = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (Trim(lines[i]) == header) {
            begin = i + 1;
            end = begin;
            while (end < lines.size() && Trim(lines[end]).substr(0, 1) != "[") ++end;
            break;
        }
    }
    if (begin == lines.size()) {
        if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
        lines.push_back(header);
        begin = end = lines.size();
    }
    for (const std::string& type : types) {
        bool found = false;
        for (size_t i = begin; i < end; ++i) {
            std::string_view line = lines[i];
            size_t equals = line.find('=');
            if (equals == std::string_view::npos || !EqualIgnoringAsciiCase(Trim(line.substr(0, equals)), type))
                continue;
            lines[i] = type + "=" + edit(std::string(Trim(line.substr(equals + 1))));
            found = true;
        }
        if (!found) {
            // After the section's last entry, before any blank lines that end it.
            size_t at = end;
            while (at > begin && Trim(lines[at - 1]).empty()) --at;
            lines.insert(lines.begin() + long(at), type + "=" + edit(""));
            ++end;
        }
    }
}

void RegisterAssociation(const Hive& hive, std::u16string_view extension,
                         std::u16string_view className, std::u16string_view command,
                         bool* changed) {
    std::vector<std::string> types = MimeTypesFor(extension);
    if (types.empty()) return;
    std::string exec, hostProgram;
    if (!DesktopExec(command, &exec, &hostProgram)) return;

    std::string entry = "[Desktop Entry]\nType=Application\n";
    entry += "Name=" + EntryString(DisplayName(hostProgram)) + "\n";
    entry += "Exec=" + exec + "\n";
    entry += "MimeType=";
    for (const std::string& type : types) entry += type + ";";
    entry += "\n";
    std::string icon = IconFor(hive, className);
    if (!icon.empty()) entry += "Icon=" + EntryString(icon) + "\n";
    // A handler for files, not a launcher for the menus.
    entry += "NoDisplay=true\nTerminal=false\n";

    std::string applications = DataHome() + "/applications";
    if (MakeFolders(applications) != 0) return;
    std::string id = DesktopId(className);
    if (WriteIfChanged(applications + "/" + id, entry)) *changed = true;

    std::string configHome = ConfigHome();
    if (MakeFolders(configHome) != 0) return;
    std::string mimeapps = configHome + "/mimeapps.list";
    WriteIfChanged(mimeapps, SetDefaultApplication(ReadText(mimeapps), id, types));
}

}  // namespace

std::vector<std::string> MimeTypesFor(std::u16string_view extension) {
    for (const MimeEntry& entry : kMimeTypes)
        if (EqualNames(extension, entry.extension)) return entry.types;
    return {};
}

bool DesktopExec(std::u16string_view command, std::string* exec, std::string* hostProgram) {
    size_t start = command.find_first_not_of(u" \t");
    if (start == std::u16string_view::npos) return false;
    command.remove_prefix(start);
    std::u16string_view program, rest;
    if (command[0] == u'"') {
        size_t close = command.find(u'"', 1);
        if (close == std::u16string_view::npos) return false;
        program = command.substr(1, close - 1);
        rest = command.substr(close + 1);
    } else {
        size_t blank = command.find_first_of(u" \t");
        program = command.substr(0, blank);
        rest = blank == std::u16string_view::npos ? std::u16string_view() : command.substr(blank);
    }
    if (!HostPath(program, hostProgram)) return false;
    *exec = ExecArgument(*hostProgram);
    bool hasFile = false;
    for (const std::u16string& arg : SplitArguments(rest)) {
        // %1 and %L are the tapped file's path; %* (all arguments) has no
        // counterpart for one file and is dropped.
        if (arg == u"%1" || arg == u"%L" || arg == u"%l") {
            if (!hasFile) *exec += " %f";
            hasFile = true;
            continue;
        }
        if (arg == u"%*") continue;
        std::string utf8 = ToUtf8(arg);
        if (HasControl(utf8)) return false;
        *exec += " " + ExecArgument(utf8);
    }
    // The shell passes the file even to a command that does not name it.
    if (!hasFile) *exec += " %f";
    *exec = EntryString(*exec);
    return true;
}

std::string SetDefaultApplication(std::string_view mimeapps, const std::string& desktopId,
                                  const std::vector<std::string>& types) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < mimeapps.size();) {
        size_t end = mimeapps.find('\n', start);
        if (end == std::string_view::npos) end = mimeapps.size();
        lines.emplace_back(mimeapps.substr(start, end - start));
        start = end + 1;
    }
    EditSection(lines, "Default Applications", types,
                [&](const std::string&) { return desktopId + ";"; });
    EditSection(lines, "Added Associations", types, [&](const std::string& old) {
        std::string list = desktopId + ";";
        for (size_t start = 0; start < old.size();) {
            size_t end = old.find(';', start);
            if (end == std::string::npos) end = old.size();
            std::string item(Trim(std::string_view(old).substr(start, end - start)));
            if (!item.empty() && item != desktopId) list += item + ";";
            start = end + 1;
        }
        return list;
    });
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

void SyncDesktop(const Hive& hive) {
    std::u16string prefix = Fold(kClassesRoot) + u"\\.";
    bool changed = false;
    for (const auto& [folded, key] : hive.Keys()) {
        if (folded.compare(0, prefix.size(), prefix) != 0) continue;
        std::u16string_view extension = std::u16string_view(key.path).substr(prefix.size() - 1);
        if (extension.find(u'\\') != std::u16string_view::npos) continue;
        std::u16string className, command;
        if (!StringValue(&key, u"", &className)) continue;
        std::u16string commandKey = std::u16string(kClassesRoot) + u'\\' + className +
                                    u"\\Shell\\Open\\Command";
        if (!StringValue(hive.Find(commandKey), u"", &command)) continue;
        RegisterAssociation(hive, extension, className, command, &changed);
    }
    if (changed) RefreshDesktopDatabase(DataHome() + "/applications");
}

}  // namespace lwreg
