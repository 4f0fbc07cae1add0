// The message trace ($LEAFWISE_TRACE): one line per message delivered to a
// window procedure, with the names that the platform's libraries register.
#include "window.h"

#include "lwdevice.h"

#include <lwsettings.h>

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <unordered_map>

namespace lwuser {
namespace {

// A text longer than this is cut in the trace, so a page handed to a control
// cannot flood it; controls may cut shorter themselves.
constexpr size_t kMaxTraceText = 1024;

struct Entry {
    const char* name = nullptr;
    TraceTextFn text = nullptr;
};

struct Names {
    std::map<UINT, Entry> common;
    std::map<std::pair<std::u16string, UINT>, Entry> byClass; // lower-case class name
    std::map<UINT, Entry> notifications;
    std::unordered_map<UINT, bool> mayBeKept; // by message number (WM_NOTIFY is always looked at); emptied when a message name is registered
};

std::u16string Lower(const std::u16string& s)
{
    std::u16string out = s;
    for (char16_t& c : out)
        c = towlower(c);
    return out;
}

bool SetTextText(HWND, UINT, WPARAM, LPARAM lParam, std::u16string* text)
{
    auto* s = reinterpret_cast<LPCWSTR>(lParam);
    *text = s && !IS_INTRESOURCE(s) ? s : u"";
    return true;
}

bool DialogTitleText(HWND window, UINT, WPARAM, LPARAM, std::u16string* text)
{
    Window* w = PeekWindowRecord(window);
    *text = w ? w->text : u"";
    return true;
}

Names& names()
{
    static Names* n = [] {
        auto* t = new Names;
        struct Builtin {
            UINT message;
            const char* name;
        };
        static const Builtin kBuiltins[] = {
            {WM_NULL, "WM_NULL"},
            {WM_CREATE, "WM_CREATE"},
            {WM_DESTROY, "WM_DESTROY"},
            {WM_MOVE, "WM_MOVE"},
            {WM_SIZE, "WM_SIZE"},
            {WM_ACTIVATE, "WM_ACTIVATE"},
            {WM_SETFOCUS, "WM_SETFOCUS"},
            {WM_KILLFOCUS, "WM_KILLFOCUS"},
            {WM_ENABLE, "WM_ENABLE"},
            {WM_SETREDRAW, "WM_SETREDRAW"},
            {WM_GETTEXT, "WM_GETTEXT"},
            {WM_GETTEXTLENGTH, "WM_GETTEXTLENGTH"},
            {WM_PAINT, "WM_PAINT"},
            {WM_CLOSE, "WM_CLOSE"},
            {WM_QUIT, "WM_QUIT"},
            {WM_ERASEBKGND, "WM_ERASEBKGND"},
            {WM_SHOWWINDOW, "WM_SHOWWINDOW"},
            {WM_SETCURSOR, "WM_SETCURSOR"},
            {WM_SETFONT, "WM_SETFONT"},
            {WM_GETFONT, "WM_GETFONT"},
            {WM_NOTIFY, "WM_NOTIFY"},
            {WM_NCCREATE, "WM_NCCREATE"},
            {WM_NCDESTROY, "WM_NCDESTROY"},
            {WM_GETDLGCODE, "WM_GETDLGCODE"},
            {WM_KEYDOWN, "WM_KEYDOWN"},
            {WM_KEYUP, "WM_KEYUP"},
            {WM_CHAR, "WM_CHAR"},
            {WM_COMMAND, "WM_COMMAND"},
            {WM_SYSCOMMAND, "WM_SYSCOMMAND"},
            {WM_TIMER, "WM_TIMER"},
            {WM_HSCROLL, "WM_HSCROLL"},
            {WM_VSCROLL, "WM_VSCROLL"},
            {WM_INITMENUPOPUP, "WM_INITMENUPOPUP"},
            {WM_CTLCOLORMSGBOX, "WM_CTLCOLORMSGBOX"},
            {WM_CTLCOLOREDIT, "WM_CTLCOLOREDIT"},
            {WM_CTLCOLORLISTBOX, "WM_CTLCOLORLISTBOX"},
            {WM_CTLCOLORBTN, "WM_CTLCOLORBTN"},
            {WM_CTLCOLORDLG, "WM_CTLCOLORDLG"},
            {WM_CTLCOLORSCROLLBAR, "WM_CTLCOLORSCROLLBAR"},
            {WM_CTLCOLORSTATIC, "WM_CTLCOLORSTATIC"},
            {WM_MOUSEMOVE, "WM_MOUSEMOVE"},
            {WM_LBUTTONDOWN, "WM_LBUTTONDOWN"},
            {WM_LBUTTONUP, "WM_LBUTTONUP"},
            {WM_LBUTTONDBLCLK, "WM_LBUTTONDBLCLK"},
            {WM_HOTKEY, "WM_HOTKEY"},
        };
        for (const Builtin& b : kBuiltins)
            t->common[b.message] = Entry{b.name, nullptr};
        t->common[WM_SETTEXT] = Entry{"WM_SETTEXT", SetTextText};
        t->common[WM_INITDIALOG] = Entry{"WM_INITDIALOG", DialogTitleText};
        return t;
    }();
    return *n;
}

FILE* TraceFile()
{
    static FILE* file = [] () -> FILE* {
        const char* path = getenv(LW_SETTING("TRACE"));
        if (!path || !*path)
            return nullptr;
        return fopen(path, "a");
    }();
    return file;
}

// The message names $LEAFWISE_TRACE_ONLY lists (separated by commas); empty
// when it is not set: every message is written.
const std::set<std::string>& TraceOnly()
{
    static const std::set<std::string> only = [] {
        std::set<std::string> names;
        const char* list = getenv(LW_SETTING("TRACE_ONLY"));
        std::string name;
        for (const char* c = list ? list : ""; ; ++c) {
            if (*c && *c != ',') {
                name += *c;
                continue;
            }
            if (!name.empty())
                names.insert(name);
            name.clear();
            if (!*c)
                break;
        }
        return names;
    }();
    return only;
}

// Quotes a text the way the program's other tools write fields: backslash,
// double quote and control characters escaped, so one message stays one line.
std::string Quote(const std::u16string& text)
{
    std::u16string cut = text.size() > kMaxTraceText ? text.substr(0, kMaxTraceText) : text;
    std::string utf8 = QString::fromStdU16String(cut).toStdString();
    std::string out = "\"";
    for (char c : utf8) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

// Whether the filter keeps a message of this name; "WM_NOTIFY:NM_CLICK" is kept
// by its whole name, "WM_NOTIFY" or "NM_CLICK".
bool Kept(const std::string& name)
{
    const std::set<std::string>& only = TraceOnly();
    if (only.empty() || only.count(name))
        return true;
    size_t colon = name.find(':');
    return colon != std::string::npos && (only.count(name.substr(0, colon)) || only.count(name.substr(colon + 1)));
}

std::string NumberName(UINT message)
{
    char number[16];
    snprintf(number, sizeof number, "0x%04x", message);
    return number;
}

// Whether the filter may keep a message of this number under any name it can
// have: most messages (a big tree's thousands of inserts) then cost one look-up.
bool MayBeKept(UINT message)
{
    if (TraceOnly().empty() || message == WM_NOTIFY)
        return true;
    Names& n = names();
    auto known = n.mayBeKept.find(message);
    if (known != n.mayBeKept.end())
        return known->second;
    bool kept = Kept(NumberName(message));
    if (auto common = n.common.find(message); common != n.common.end())
        kept = kept || Kept(common->second.name);
    for (const auto& [key, entry] : n.byClass)
        kept = kept || (key.second == message && Kept(entry.name));
    n.mayBeKept[message] = kept;
    return kept;
}

// A message's entry for a window of this record's class (null: any class).
Entry EntryOf(const Window* w, UINT message)
{
    Names& n = names();
    if (w) {
        auto byClass = n.byClass.find({Lower(w->windowClass->name), message});
        if (byClass != n.byClass.end())
            return byClass->second;
    }
    auto common = n.common.find(message);
    return common != n.common.end() ? common->second : Entry{};
}

} // namespace

void RegisterMessageName(LPCWSTR className, UINT message, const char* name, TraceTextFn text)
{
    names().mayBeKept.clear();
    if (className)
        names().byClass[{Lower(className), message}] = Entry{name, text};
    else
        names().common[message] = Entry{name, text};
}

void RegisterNotifyName(UINT code, const char* name, TraceTextFn text)
{
    names().notifications[code] = Entry{name, text};
}

void TraceMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    FILE* file = TraceFile();
    if (!file || !MayBeKept(message))
        return; // the common case, for every message: nothing more to look up
    Window* w = PeekWindowRecord(window);
    if (!w)
        return;
    Names& n = names();
    Entry entry = EntryOf(w, message);
    std::string name = entry.name ? entry.name : "";
    if (message == WM_NOTIFY && lParam) {
        // The notification's code tells what it is; a named one is written WM_NOTIFY:NAME.
        UINT code = reinterpret_cast<const NMHDR*>(lParam)->code;
        if (auto notify = n.notifications.find(code); notify != n.notifications.end()) {
            name += ":";
            name += notify->second.name;
            entry.text = notify->second.text;
        }
    }
    if (name.empty())
        name = NumberName(message);
    // A filtered trace costs a look-up, not a line: a watcher that waits for one
    // message does not slow down the thousands before it.
    if (!Kept(name))
        return;
    std::string line = QString::fromStdU16String(w->windowClass->name).toStdString() + "\t" + name;
    char params[64];
    snprintf(params, sizeof params, "\t0x%llx\t0x%llx", static_cast<unsigned long long>(wParam),
             static_cast<unsigned long long>(static_cast<ULONG_PTR>(lParam)));
    line += params;
    std::u16string text;
    if (entry.text && entry.text(window, message, wParam, lParam, &text))
        line += "\t" + Quote(text);
    line += "\n";
    fputs(line.c_str(), file);
    fflush(file); // a crash must not lose what led to it
}

} // namespace lwuser

using namespace lwuser;

const char* LwDeviceMessageName(HWND window, UINT message)
{
    return EntryOf(PeekWindowRecord(window), message).name;
}

const char* LwDeviceNotifyName(UINT code)
{
    auto notify = names().notifications.find(code);
    return notify != names().notifications.end() ? notify->second.name : nullptr;
}
