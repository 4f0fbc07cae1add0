// Message sequences in Wine's manner: one recorder of what the watched windows
// get, and a compare of the whole sequence that fails on an extra or a missing
// message. The recorder sees messages through the platform's watch
// (LwDeviceWatchMessages), so no window is subclassed for it and a window made
// inside a call is seen from its first message.
//
//   Recorder recorder;                 // the fixture's; watching nothing yet
//   recorder.Watch(tree);              // every message to the tree
//   recorder.WatchParent(parent);      // every message to its parent, marked kParent
//   LwDevicePressKey(VK_DOWN);
//   Drain();
//   EXPECT_TRUE(Matches(recorder.Take(), {
//       {WM_KEYDOWN, kPosted | kWParam, VK_DOWN},
//       Note(TVN_KEYDOWN, 0, VK_DOWN),
//       Note(TVN_SELCHANGINGW, ItemOf(a2), TVC_BYKEYBOARD), // item, how: controlnotes.h
//       Note(TVN_SELCHANGEDW, ItemOf(a2), TVC_BYKEYBOARD),
//       {WM_KEYUP, kPosted | kWParam, VK_DOWN},
//       {WM_TIMER, kPosted | kOptional},
//       Msg{WM_NOTIFY, kParent, 0, 0, NM_CUSTOMDRAW}.Gap("the tree draws without asking"),
//       Msg{WM_SETTEXT}.Saying(u"Page B").At(window),
//   }));
//
// What is recorded: each message to a watched window, in delivery order, with
// how it came (kSent or kPosted, kParent for a window watched as a parent),
// wParam and lParam, and decoded at once what the pointers carry: a WM_NOTIFY's
// code, the text of WM_SETTEXT, and what a test's `decode` reads (the tree's
// and the list's items and actions: DecodeControlNote in controlnotes.h).
// Painting comes and goes with the pump's timing, so WM_PAINT, WM_ERASEBKGND,
// WM_CTLCOLOR* and WM_SETCURSOR are not recorded unless a test Keeps them: a
// fixed list of noise, never a filter of the messages a test expects. A
// test's own calls to a watched window are recorded too: Clear just before
// the action, so that Take gives what the action caused.
//
// What an expectation compares: the message, always; the parent mark, always
// (it tells a notification from a message to the control); kSent or kPosted
// when it names one; wParam with kWParam, lParam with kLParam; a WM_NOTIFY's
// code always; the item with kItem, the how with kHow (Note sets both); the
// text with kText; the window when it names one. kOptional: may be missing. A
// known gap (`gap`: why) is a message Windows sends and the platform does not
// yet: it must be missing, and the compare fails once it comes, so the mark is
// taken away with the gap.
#pragma once

#include <lwdevice.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace lwtest {

enum MsgFlags : unsigned {
    kSent = 1u << 0,     // delivered by a send, or by the window manager itself
    kPosted = 1u << 1,   // dispatched from the queue
    kParent = 1u << 2,   // to a window watched as a parent
    kOptional = 1u << 3, // expectation: may be missing
    kWParam = 1u << 4,   // expectation: wParam must match
    kLParam = 1u << 5,   // expectation: lParam must match
    kItem = 1u << 6,     // expectation: a notification's item must match
    kHow = 1u << 7,      // expectation: a notification's how must match
    kText = 1u << 8,     // expectation: the text must match
};

struct Msg {
    Msg(UINT message = 0, unsigned flags = 0, WPARAM wParam = 0, LPARAM lParam = 0, UINT code = 0, LPARAM item = 0,
        UINT how = 0)
        : message(message), flags(flags), wParam(wParam), lParam(lParam), code(code), item(item), how(how)
    {
    }
    // The same expectation for one window only, with a text, or as a known gap.
    Msg At(HWND to) const
    {
        Msg m = *this;
        m.window = to;
        return m;
    }
    Msg Saying(std::u16string said) const
    {
        Msg m = *this;
        m.text = std::move(said);
        m.flags |= kText;
        return m;
    }
    Msg Gap(const char* why) const
    {
        Msg m = *this;
        m.gap = why;
        return m;
    }

    UINT message;
    unsigned flags;
    WPARAM wParam;
    LPARAM lParam;
    UINT code;            // WM_NOTIFY: the notification's code
    LPARAM item;          // WM_NOTIFY: the tree item, the list row (-1: none)
    UINT how;             // WM_NOTIFY: the tree's action, the list's new state, the key
    std::u16string text;  // WM_SETTEXT's text, or what a test's decoder takes
    HWND window = nullptr;     // recorded: where it went; expectation: compared when set
    const char* gap = nullptr; // expectation: why the platform does not send it yet
    std::string name;          // recorded: its name, taken while the window lived
};

// A notification to the parent, its item and how compared.
inline Msg Note(UINT code, LPARAM item = 0, UINT how = 0, unsigned flags = 0)
{
    return Msg{WM_NOTIFY, kParent | kSent | kItem | kHow | flags, 0, 0, code, item, how};
}

inline std::string Hex(unsigned long long value)
{
    char out[24];
    snprintf(out, sizeof out, "0x%llx", value);
    return out;
}

// A message's name from the platform's trace table (the window's class names
// its own messages), its number when it has none.
inline std::string MessageName(HWND window, UINT message, UINT code)
{
    const char* name = LwDeviceMessageName(window, message);
    std::string out = name ? name : Hex(message);
    if (message == WM_NOTIFY) {
        const char* note = LwDeviceNotifyName(code);
        out += ":" + (note ? std::string(note) : std::to_string(static_cast<int>(code)));
    }
    return out;
}

// One line of a sequence: the name, then what the entry holds (all of it for
// a recorded message, what is compared for an expectation).
inline std::string Describe(const Msg& msg, const Msg* recorded, bool expectation)
{
    bool all = !expectation;
    std::string out = recorded && recorded->message == msg.message && recorded->code == msg.code && !recorded->name.empty()
                          ? recorded->name
                          : MessageName(msg.window, msg.message, msg.code);
    if (all || msg.flags & kWParam)
        out += " wp=" + Hex(msg.wParam);
    if (all || msg.flags & kLParam)
        out += " lp=" + Hex(static_cast<unsigned long long>(msg.lParam));
    bool notify = msg.message == WM_NOTIFY;
    if ((all && (notify || msg.item)) || msg.flags & kItem)
        out += " item=" + Hex(static_cast<unsigned long long>(msg.item));
    if ((all && (notify || msg.how)) || msg.flags & kHow)
        out += " how=" + Hex(msg.how);
    if ((all && !msg.text.empty()) || msg.flags & kText) {
        std::string utf8;
        for (char16_t c : msg.text)
            utf8 += c < 0x80 ? static_cast<char>(c) : '?';
        out += " \"" + utf8 + "\"";
    }
    static const std::pair<unsigned, const char*> kNames[] = {
        {kSent, "sent"}, {kPosted, "posted"}, {kParent, "parent"}, {kOptional, "optional"}};
    for (const auto& [flag, name] : kNames)
        if (msg.flags & flag)
            out += std::string(" ") + name;
    if (msg.gap)
        out += std::string(" (known gap: ") + msg.gap + ")";
    return out;
}

inline bool Fits(const Msg& want, const Msg& got)
{
    const unsigned how = kSent | kPosted;
    if (want.message != got.message || ((want.flags ^ got.flags) & kParent))
        return false;
    if ((want.flags & how) && (want.flags & how) != (got.flags & how))
        return false;
    if (want.window && want.window != got.window)
        return false;
    if ((want.flags & kWParam && want.wParam != got.wParam) || (want.flags & kLParam && want.lParam != got.lParam))
        return false;
    if ((want.message == WM_NOTIFY && want.code != got.code) || (want.flags & kItem && want.item != got.item) ||
        (want.flags & kHow && want.how != got.how))
        return false;
    return !(want.flags & kText) || want.text == got.text;
}

// Whether `actual` is the whole of `expected`: every entry in order, optional
// ones and known gaps left out, nothing more. On failure both sequences are
// printed with their names and where they part.
inline ::testing::AssertionResult Matches(const std::vector<Msg>& actual, const std::vector<Msg>& expected)
{
    size_t at = 0;
    size_t failed = expected.size();
    std::string problem;
    for (size_t want = 0; want < expected.size() && problem.empty(); ++want) {
        const Msg& e = expected[want];
        bool fits = at < actual.size() && Fits(e, actual[at]);
        if (fits && e.gap)
            problem = "a known gap is filled: take its mark away";
        else if (fits)
            ++at;
        else if (!(e.flags & kOptional) && !e.gap)
            problem = at < actual.size() ? "another message came" : "a message is missing";
        if (!problem.empty())
            failed = want;
    }
    if (problem.empty() && at < actual.size())
        problem = "an extra message came";
    if (problem.empty())
        return ::testing::AssertionSuccess();
    std::ostringstream out;
    out << problem << "\nexpected:\n";
    for (size_t k = 0; k < expected.size(); ++k) {
        const Msg* same = k < actual.size() ? &actual[k] : nullptr;
        out << (k == failed ? "> " : "  ") << k << "  " << Describe(expected[k], same, true) << "\n";
    }
    out << "got:\n";
    for (size_t k = 0; k < actual.size(); ++k)
        out << (k == at ? "> " : "  ") << k << "  " << Describe(actual[k], &actual[k], false) << "\n";
    return ::testing::AssertionFailure() << out.str();
}

// Records what the watched windows get, from its making until its end (one
// recorder at a time: the platform has one watch).
class Recorder {
public:
    Recorder()
    {
        Current() = this;
        LwDeviceWatchMessages(&Recorder::Watched);
    }
    ~Recorder()
    {
        LwDeviceWatchMessages(nullptr);
        Current() = nullptr;
    }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    void Watch(HWND window) { windows_.insert(window); }
    // Its messages are marked kParent: the notifications a control sends.
    void WatchParent(HWND window) { parents_.insert(window); }
    // Every window of a class (as GetClassNameW spells it), from its WM_NCCREATE.
    void WatchClass(const std::u16string& name) { classes_.insert(name); }
    // Records a message of the noise list after all (WM_PAINT for a paint test).
    void Keep(UINT message) { noise_.erase(message); }

    // What was recorded since the last Take or Clear; the record starts again.
    std::vector<Msg> Take()
    {
        std::vector<Msg> taken;
        taken.swap(seen_);
        return taken;
    }
    // The same for one window's messages; the others stay.
    std::vector<Msg> Take(HWND window)
    {
        std::vector<Msg> taken, kept;
        for (Msg& msg : seen_)
            (msg.window == window ? taken : kept).push_back(std::move(msg));
        seen_.swap(kept);
        return taken;
    }
    const std::vector<Msg>& Seen() const { return seen_; }
    void Clear() { seen_.clear(); }
    // How many of one message a window got, for a pump that waits for it.
    size_t Count(HWND window, UINT message) const
    {
        size_t count = 0;
        for (const Msg& msg : seen_)
            count += msg.window == window && msg.message == message;
        return count;
    }

    // A test's decoder, after the recorder's own: reads what a message's pointers carry
    // while they are alive (a viewer's notices, a picture's record).
    std::function<void(const Msg& raw, Msg* recorded)> decode;

private:
    static Recorder*& Current()
    {
        static Recorder* current = nullptr;
        return current;
    }

    static void Watched(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool posted)
    {
        if (Recorder* self = Current())
            self->Record(window, message, wParam, lParam, posted);
    }

    bool Watching(HWND window) const
    {
        if (windows_.count(window))
            return true;
        if (classes_.empty())
            return false;
        WCHAR name[64] = {};
        GetClassNameW(window, name, 64);
        return classes_.count(name) > 0;
    }

    void Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool posted)
    {
        bool parent = parents_.count(window) > 0;
        if (noise_.count(message) || (!parent && !Watching(window)))
            return;
        Msg msg = Msg{message, (posted ? kPosted : kSent) | (parent ? kParent : 0u), wParam, lParam}.At(window);
        if (message == WM_NOTIFY && lParam)
            msg.code = reinterpret_cast<const NMHDR*>(lParam)->code;
        if (message == WM_SETTEXT && lParam && !IS_INTRESOURCE(lParam))
            msg.text = reinterpret_cast<LPCWSTR>(lParam);
        if (decode)
            decode(Msg{message, msg.flags, wParam, lParam}, &msg);
        msg.name = MessageName(window, message, msg.code);
        seen_.push_back(std::move(msg));
    }

    std::set<HWND> windows_;
    std::set<HWND> parents_;
    std::set<std::u16string> classes_;
    std::set<UINT> noise_{WM_PAINT,           WM_ERASEBKGND,      WM_SETCURSOR,     WM_CTLCOLORMSGBOX,
                          WM_CTLCOLOREDIT,    WM_CTLCOLORLISTBOX, WM_CTLCOLORBTN,   WM_CTLCOLORDLG,
                          WM_CTLCOLORSCROLLBAR, WM_CTLCOLORSTATIC};
    std::vector<Msg> seen_;
};

} // namespace lwtest
