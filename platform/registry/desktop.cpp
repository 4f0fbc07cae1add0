#include "desktop.h"

#include "hivefile.h"

#include <winreg.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace lwreg {

namespace {

// The MIME database of a desktop is about 60 KB; a file past this cap is not
// one and is ignored.
constexpr size_t kMaxGlobsBytes = 8 * 1024 * 1024;

bool ReadBounded(const std::string& path, size_t limit, std::string* text)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    text->clear();
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0 && text->size() <= limit)
        text->append(buffer, got);
    std::fclose(f);
    return text->size() <= limit;
}

// The absolute folders of a colon-separated list setting (relative entries are
// to be ignored, as the base-directory rules say), or of `fallback` when unset.
std::vector<std::string> FolderList(const char* setting, std::string_view fallback)
{
    std::vector<std::string> folders;
    const char* value = std::getenv(setting);
    std::string_view list = value && *value ? value : fallback;
    for (size_t start = 0; start <= list.size();) {
        size_t end = std::min(list.find(':', start), list.size());
        std::string_view folder = list.substr(start, end - start);
        if (!folder.empty() && folder[0] == '/')
            folders.emplace_back(folder);
        start = end + 1;
    }
    return folders;
}

// $XDG_DATA_HOME, then the $XDG_DATA_DIRS, in the order the desktop searches them.
std::vector<std::string> DataFolders()
{
    std::vector<std::string> folders{DataHome()};
    for (std::string& folder : FolderList("XDG_DATA_DIRS", "/usr/local/share:/usr/share"))
        folders.push_back(std::move(folder));
    return folders;
}

// What the program told of each file type: the desktop needs MIME types and an
// entry's name, which the device's registry does not hold.
struct FileType {
    std::u16string extension;
    std::vector<std::string> types;
    std::string entryId;
    std::string installedId;  // empty when the program has no installed entry
};

std::mutex typesMutex;

std::vector<FileType>& ToldTypes()
{
    static std::vector<FileType> types;
    return types;
}

bool FindToldType(std::u16string_view extension, FileType* type)
{
    std::lock_guard<std::mutex> guard(typesMutex);
    for (const FileType& told : ToldTypes())
        if (EqualNames(extension, told.extension)) {
            *type = told;
            return true;
        }
    return false;
}

constexpr char16_t kClassesRoot[] = u"HKEY_CLASSES_ROOT";

// A REG_SZ or REG_EXPAND_SZ value's text up to its first terminator.
bool StringValue(const Key* key, std::u16string_view name, std::u16string* text)
{
    if (!key)
        return false;
    const Value* value = key->FindValue(name);
    if (!value || (value->type != 1 && value->type != 2))
        return false;
    text->clear();
    for (size_t i = 0; i + 1 < value->data.size(); i += 2) {
        char16_t c = char16_t(value->data[i] | (value->data[i + 1] << 8));
        if (c == 0)
            break;
        text->push_back(c);
    }
    return !text->empty();
}

bool HasControl(std::string_view s)
{
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F)
            return true;
    return false;
}

// One argument of an Exec line: quoted when the desktop entry rules ask for
// it, with '%' doubled since it would start a field code.
std::string ExecArgument(std::string_view arg)
{
    static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    bool quote = arg.empty() || arg.find_first_of(kReserved) != std::string_view::npos;
    std::string out;
    if (quote)
        out += '"';
    for (char c : arg) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            out += '\\';
        if (c == '%')
            out += '%';
        out += c;
    }
    if (quote)
        out += '"';
    return out;
}

// A desktop entry's string values escape the backslash once more.
std::string EntryString(std::string_view s)
{
    std::string out;
    for (char c : s) {
        if (c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

bool HostPath(std::u16string_view devicePath, std::string* host)
{
    std::u16string path(devicePath);
    char buffer[4096];
    if (DeviceToHostPath(reinterpret_cast<LPCWSTR>(path.c_str()), buffer, sizeof buffer) == 0)
        return false;
    *host = buffer;
    return !HasControl(*host);
}

// Splits what follows the program into arguments; double quotes group blanks.
std::vector<std::u16string> SplitArguments(std::u16string_view rest)
{
    std::vector<std::u16string> args;
    size_t i = 0;
    while (i < rest.size()) {
        while (i < rest.size() && (rest[i] == u' ' || rest[i] == u'\t'))
            ++i;
        if (i == rest.size())
            break;
        std::u16string arg;
        bool quoted = false;
        for (; i < rest.size(); ++i) {
            char16_t c = rest[i];
            if (c == u'"')
                quoted = !quoted;
            else if (!quoted && (c == u' ' || c == u'\t'))
                break;
            else
                arg += c;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = char(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

std::string DisplayName(const std::string& hostProgram)
{
    std::string name = hostProgram.substr(hostProgram.find_last_of('/') + 1);
    if (name.size() > 4 && EqualIgnoringAsciiCase(std::string_view(name).substr(name.size() - 4), ".exe"))
        name.resize(name.size() - 4);
    if (!name.empty() && name[0] >= 'a' && name[0] <= 'z')
        name[0] = char(name[0] - 32);
    return name;
}

bool EndsWith(const std::string& s, std::string_view tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool IsFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The DefaultIcon value ("\"path\", index") gives an icon the desktop can show
// when it names an image file, or when a PNG or SVG of the program's name lies
// beside it; icons inside the program's own resources are not exported.
std::string IconFor(const Hive& hive, std::u16string_view className)
{
    std::u16string value;
    std::u16string keyPath = std::u16string(kClassesRoot) + u'\\' + std::u16string(className) + u"\\DefaultIcon";
    if (!StringValue(hive.Find(keyPath), u"", &value))
        return "";
    std::u16string path;
    if (value[0] == u'"') {
        size_t close = value.find(u'"', 1);
        if (close == std::u16string::npos)
            return "";
        path = value.substr(1, close - 1);
    } else {
        path = value.substr(0, value.find(u','));
    }
    std::string host;
    if (!HostPath(path, &host))
        return "";
    for (std::string_view image : {".png", ".svg", ".xpm"})
        if (EndsWith(host, image) && IsFile(host))
            return host;
    std::string stem = host;
    size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && dot > stem.find_last_of('/'))
        stem.resize(dot);
    for (std::string_view image : {".png", ".svg"})
        if (IsFile(stem + std::string(image)))
            return stem + std::string(image);
    return "";
}

// Replaces the file only when its content differs, through a temporary file
// and a rename so a reader never sees half of it. Returns true when written.
bool WriteIfChanged(const std::string& path, const std::string& content)
{
    std::string old;
    if (ReadBounded(path, content.size(), &old) && old == content)
        return false;
    std::string temp = path + ".tmp-" + std::to_string(getpid());
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return false;
    bool ok = write(fd, content.data(), content.size()) == ssize_t(content.size());
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

std::string ReadText(const std::string& path)
{
    std::string text;
    ReadBounded(path, std::string().max_size(), &text);
    return text;
}

// update-desktop-database is optional: without it the desktop still finds the
// entry through mimeapps.list.
void RefreshDesktopDatabase(const std::string& folder)
{
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

std::string_view Trim(std::string_view s)
{
    size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// Sets, in one section of mimeapps.list, the line of each type; `edit` gets the
// old list ("" when the type had no line) and returns the new one.
template <typename Edit>
void EditSection(std::vector<std::string>& lines, std::string_view section, const std::vector<std::string>& types,
                 Edit edit)
{
    std::string header = "[" + std::string(section) + "]";
    size_t begin = lines.size(), end = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (Trim(lines[i]) == header) {
            begin = i + 1;
            end = begin;
            while (end < lines.size() && Trim(lines[end]).substr(0, 1) != "[")
                ++end;
            break;
        }
    }
    if (begin == lines.size()) {
        if (!lines.empty() && !Trim(lines.back()).empty())
            lines.push_back("");
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
            while (at > begin && Trim(lines[at - 1]).empty())
                --at;
            lines.insert(lines.begin() + long(at), type + "=" + edit(""));
            ++end;
        }
    }
}

// A desktop entry is a few hundred bytes; a file past this cap is not one.
constexpr size_t kMaxEntryBytes = 1024 * 1024;

// The value of `key` in the [Desktop Entry] group, as written; empty when absent.
std::string EntryValue(std::string_view entry, std::string_view key)
{
    bool inGroup = false;
    for (size_t start = 0; start < entry.size();) {
        size_t end = std::min(entry.find('\n', start), entry.size());
        std::string_view line = Trim(entry.substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line[0] == '[') {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        size_t equals = line.find('=');
        if (inGroup && equals != std::string_view::npos && Trim(line.substr(0, equals)) == key)
            return std::string(Trim(line.substr(equals + 1)));
    }
    return "";
}

// The program an Exec value starts: its first word, unescaped and unquoted,
// looked up on PATH when it names no folder; empty when there is none.
std::string ExecProgram(std::string_view exec)
{
    std::string unescaped;  // the string escapes of a desktop entry first
    for (size_t i = 0; i < exec.size(); ++i) {
        char c = exec[i];
        if (c == '\\' && i + 1 < exec.size()) {
            c = exec[++i];
            c = c == 's' ? ' ' : c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        }
        unescaped += c;
    }
    std::string word;  // then the quoting of the Exec rules
    bool quoted = false;
    for (size_t i = 0; i < unescaped.size(); ++i) {
        char c = unescaped[i];
        if (quoted && c == '\\' && i + 1 < unescaped.size()) {
            word += unescaped[++i];
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (!word.empty())
                break;
        } else {
            word += c;
        }
    }
    if (word.empty())
        return "";
    if (word.find('/') != std::string::npos)
        return word[0] == '/' ? word : "";
    for (const std::string& folder : FolderList("PATH", "/usr/local/bin:/usr/bin:/bin")) {
        std::string candidate = folder + "/" + word;
        if (IsFile(candidate) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return "";
}

// True when the first entry named `id` in the desktop's application folders
// starts `hostProgram` itself (the same file): the program was installed with
// that entry, and a copy elsewhere (a build tree) is not what it starts.
bool InstalledEntryRuns(const std::string& id, const std::string& hostProgram)
{
    struct stat program;
    if (stat(hostProgram.c_str(), &program) != 0)
        return false;
    for (const std::string& folder : DataFolders()) {
        std::string entry;
        if (!ReadBounded(folder + "/applications/" + id, kMaxEntryBytes, &entry))
            continue;
        if (EntryValue(entry, "Hidden") == "true")
            return false;
        std::string started = ExecProgram(EntryValue(entry, "Exec"));
        struct stat st;
        return !started.empty() && stat(started.c_str(), &st) == 0 && st.st_dev == program.st_dev &&
            st.st_ino == program.st_ino;
    }
    return false;
}

void MakeDefault(const std::string& id, const std::vector<std::string>& types)
{
    std::string configHome = ConfigHome();
    if (MakeFolders(configHome) != 0)
        return;
    std::string mimeapps = configHome + "/mimeapps.list";
    WriteIfChanged(mimeapps, SetDefaultApplication(ReadText(mimeapps), id, types));
}

void RegisterAssociation(const Hive& hive, const FileType& fileType, std::u16string_view className,
                         std::u16string_view command, bool* changed)
{
    std::vector<std::string> types = MimeTypesFor(fileType.extension);
    if (types.empty())
        return;
    std::string exec, hostProgram;
    if (!DesktopExec(command, &exec, &hostProgram))
        return;
    // The installation's own entry already lists the program in the menus and
    // for these types: it becomes the default, and no second entry is written.
    if (!fileType.installedId.empty() && InstalledEntryRuns(fileType.installedId, hostProgram)) {
        MakeDefault(fileType.installedId, types);
        return;
    }

    std::string entry = "[Desktop Entry]\nType=Application\n";
    entry += "Name=" + EntryString(DisplayName(hostProgram)) + "\n";
    entry += "Exec=" + exec + "\n";
    entry += "MimeType=";
    for (const std::string& type : types)
        entry += type + ";";
    entry += "\n";
    std::string icon = IconFor(hive, className);
    if (!icon.empty())
        entry += "Icon=" + EntryString(icon) + "\n";
    // A handler for files, not a launcher for the menus.
    entry += "NoDisplay=true\nTerminal=false\n";

    std::string applications = DataHome() + "/applications";
    if (MakeFolders(applications) != 0)
        return;
    const std::string& id = fileType.entryId;
    if (WriteIfChanged(applications + "/" + id, entry))
        *changed = true;
    MakeDefault(id, types);
}

// A MIME type's name as RFC 6838 spells it: type "/" subtype, each of at most
// 127 letters, digits and !#$&^_.+- (and not starting with one of those).
bool ValidMimeType(std::string_view type)
{
    size_t slash = type.find('/');
    if (slash == std::string_view::npos)
        return false;
    for (std::string_view part : {type.substr(0, slash), type.substr(slash + 1)}) {
        if (part.empty() || part.size() > 127)
            return false;
        for (size_t i = 0; i < part.size(); ++i) {
            char c = part[i];
            bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
            if (!alnum && (i == 0 || std::string_view("!#$&^_.+-").find(c) == std::string_view::npos))
                return false;
        }
    }
    return true;
}

}  // namespace

std::vector<std::string> MimeTypesFor(std::u16string_view extension)
{
    FileType told;
    if (!FindToldType(extension, &told))
        return {};
    std::vector<std::string> types;
    std::string known = DatabaseMimeType(ToUtf8(told.extension));
    if (!known.empty())
        types.push_back(known);
    for (const std::string& type : told.types) {
        bool repeated = false;
        for (const std::string& kept : types)
            repeated = repeated || EqualIgnoringAsciiCase(kept, type);
        if (!repeated)
            types.push_back(type);
    }
    return types;
}

std::string DatabaseMimeType(std::string_view extension)
{
    std::string best;
    long bestWeight = -1;
    for (const std::string& folder : DataFolders()) {
        std::string globs;
        if (!ReadBounded(folder + "/mime/globs2", kMaxGlobsBytes, &globs))
            continue;
        for (size_t start = 0; start < globs.size();) {
            size_t end = std::min(globs.find('\n', start), globs.size());
            std::string_view line = std::string_view(globs).substr(start, end - start);
            start = end + 1;
            // weight:type:glob[:flags[:...]]
            size_t first = line.find(':'), second = line.find(':', first + 1);
            if (line.empty() || line[0] == '#' || second == std::string_view::npos)
                continue;
            size_t third = line.find(':', second + 1);
            std::string_view glob =
                line.substr(second + 1, third == std::string_view::npos ? third : third - second - 1);
            std::string_view flags = third == std::string_view::npos ? "" : line.substr(third + 1);
            bool caseSensitive = flags.substr(0, flags.find(':')).find("cs") != std::string_view::npos;
            if (glob.size() != extension.size() + 1 || glob[0] != '*' ||
                !(caseSensitive ? glob.substr(1) == extension : EqualIgnoringAsciiCase(glob.substr(1), extension)))
                continue;
            long weight = std::strtol(std::string(line.substr(0, first)).c_str(), nullptr, 10);
            std::string_view type = line.substr(first + 1, second - first - 1);
            // The first folder wins a tie: a user's own database comes first.
            if (weight > bestWeight && ValidMimeType(type)) {
                best = type;
                bestWeight = weight;
            }
        }
    }
    return best;
}

bool DesktopExec(std::u16string_view command, std::string* exec, std::string* hostProgram)
{
    size_t start = command.find_first_not_of(u" \t");
    if (start == std::u16string_view::npos)
        return false;
    command.remove_prefix(start);
    std::u16string_view program, rest;
    if (command[0] == u'"') {
        size_t close = command.find(u'"', 1);
        if (close == std::u16string_view::npos)
            return false;
        program = command.substr(1, close - 1);
        rest = command.substr(close + 1);
    } else {
        size_t blank = command.find_first_of(u" \t");
        program = command.substr(0, blank);
        rest = blank == std::u16string_view::npos ? std::u16string_view() : command.substr(blank);
    }
    if (!HostPath(program, hostProgram))
        return false;
    *exec = ExecArgument(*hostProgram);
    bool hasFile = false;
    for (const std::u16string& arg : SplitArguments(rest)) {
        // %1 and %L are the tapped file's path; %* (all arguments) has no
        // counterpart for one file and is dropped.
        if (arg == u"%1" || arg == u"%L" || arg == u"%l") {
            if (!hasFile)
                *exec += " %f";
            hasFile = true;
            continue;
        }
        if (arg == u"%*")
            continue;
        std::string utf8 = ToUtf8(arg);
        if (HasControl(utf8))
            return false;
        *exec += " " + ExecArgument(utf8);
    }
    // The shell passes the file even to a command that does not name it.
    if (!hasFile)
        *exec += " %f";
    *exec = EntryString(*exec);
    return true;
}

std::string SetDefaultApplication(std::string_view mimeapps, const std::string& desktopId,
                                  const std::vector<std::string>& types)
{
    std::vector<std::string> lines;
    for (size_t start = 0; start < mimeapps.size();) {
        size_t end = mimeapps.find('\n', start);
        if (end == std::string_view::npos)
            end = mimeapps.size();
        lines.emplace_back(mimeapps.substr(start, end - start));
        start = end + 1;
    }
    EditSection(lines, "Default Applications", types, [&](const std::string&) { return desktopId + ";"; });
    EditSection(lines, "Added Associations", types, [&](const std::string& old) {
        std::string list = desktopId + ";";
        for (size_t start = 0; start < old.size();) {
            size_t end = old.find(';', start);
            if (end == std::string::npos)
                end = old.size();
            std::string item(Trim(std::string_view(old).substr(start, end - start)));
            if (!item.empty() && item != desktopId)
                list += item + ";";
            start = end + 1;
        }
        return list;
    });
    std::string out;
    for (const std::string& line : lines)
        out += line + "\n";
    return out;
}

void SyncDesktop(const Hive& hive)
{
    std::u16string prefix = Fold(kClassesRoot) + u"\\.";
    bool changed = false;
    for (const auto& [folded, key] : hive.Keys()) {
        if (folded.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::u16string_view extension = std::u16string_view(key.path).substr(prefix.size() - 1);
        if (extension.find(u'\\') != std::u16string_view::npos)
            continue;
        FileType fileType;
        if (!FindToldType(extension, &fileType))
            continue;
        std::u16string className, command;
        if (!StringValue(&key, u"", &className))
            continue;
        std::u16string commandKey = std::u16string(kClassesRoot) + u'\\' + className + u"\\Shell\\Open\\Command";
        if (!StringValue(hive.Find(commandKey), u"", &command))
            continue;
        RegisterAssociation(hive, fileType, className, command, &changed);
    }
    if (changed)
        RefreshDesktopDatabase(DataHome() + "/applications");
}

}  // namespace lwreg

namespace {

// More names than a file type ever has: bounds what a caller can make us keep.
constexpr size_t kMaxMimeTypes = 16;

// A name for a desktop file: letters, digits, '-', '_' and '.', as desktop file
// ids are spelt, not starting with a '.' or a '-'.
bool ValidEntryName(std::u16string_view name)
{
    if (name.empty() || name.size() > 200 || name[0] == u'.' || name[0] == u'-')
        return false;
    for (char16_t c : name) {
        bool alnum = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
        if (!alnum && c != u'-' && c != u'_' && c != u'.')
            return false;
    }
    return true;
}

// ".ext": the letters a glob of the MIME database could hold, no separator.
bool ValidExtension(std::u16string_view extension)
{
    if (extension.size() < 2 || extension.size() > 64 || extension[0] != u'.')
        return false;
    for (char16_t c : extension.substr(1)) {
        bool alnum = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
        if (!alnum && c != u'-' && c != u'_' && c != u'+' && c != u'~')
            return false;
    }
    return true;
}

}  // namespace

BOOL RegisterDesktopFileType(LPCWSTR extension, LPCWSTR mimeTypes, LPCWSTR entryName, LPCWSTR installedEntry)
{
    bool installed = installedEntry && *installedEntry;
    if (!extension || !mimeTypes || !entryName || !ValidExtension(extension) || !ValidEntryName(entryName) ||
        (installed && !ValidEntryName(installedEntry))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lwreg::FileType told{extension,
                         {},
                         lwreg::ToUtf8(entryName) + ".desktop",
                         installed ? lwreg::ToUtf8(installedEntry) + ".desktop" : ""};
    std::string list = lwreg::ToUtf8(mimeTypes);
    for (size_t start = 0; start < list.size();) {
        size_t end = std::min(list.find(';', start), list.size());
        std::string type = list.substr(start, end - start);
        start = end + 1;
        if (type.empty())
            continue;
        if (!lwreg::ValidMimeType(type) || told.types.size() == kMaxMimeTypes) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        told.types.push_back(type);
    }
    std::lock_guard<std::mutex> guard(lwreg::typesMutex);
    std::vector<lwreg::FileType>& types = lwreg::ToldTypes();
    for (lwreg::FileType& old : types)
        if (lwreg::EqualNames(old.extension, told.extension)) {
            old = std::move(told);
            return TRUE;
        }
    types.push_back(std::move(told));
    return TRUE;
}
