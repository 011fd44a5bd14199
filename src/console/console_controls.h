// The console's controls as a thread-safe model: the engine reads and changes them from its
// timer threads as it would the dialog's controls, and the Qt view builds one widget per id from
// the layout table and refreshes from the model. Change counters let a view skip controls (or
// the whole refresh) when nothing changed.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace kestrava::console {

// Spin: an up-down control standing upright (arrows up and down); SidewaysSpin: one lying on its
// side (arrows left and right).
enum class ControlKind {
    Static,
    Edit,
    Button,
    CheckBox,
    RadioButton,
    GroupBox,
    Spin,
    SidewaysSpin,
    ComboBox,
    TimeDisplay,
    Picture
};

// The arrow of an up-down control that a click landed on, named by the way it points on the
// screen. The view reports the arrow it drew; every handler says what each arrow does to its
// value, so no sign convention stands between the two. An upright control has Up and Down, a
// sideways one Left and Right.
enum class SpinArrow { Up, Down, Left, Right };

// Labels without an id are fixed text: the view shows them, the model does not track them.
inline constexpr int kNoId = -1;

// One control of the console's dialog layout, in dialog units (the layout is 169 x 485).
struct ControlPlace {
    int id;
    ControlKind kind;
    std::string_view caption;
    int x, y, width, height;
    bool visible = true;
    bool enabled = true;
};

// The console's layout (template 102), top to bottom; the controls that always stay hidden last.
std::span<const ControlPlace> ConsoleLayout();
inline constexpr int kConsoleWidthDu = 169;
inline constexpr int kConsoleHeightDu = 485;

struct ControlSnapshot {
    bool exists = false;
    std::string text;
    int check = 0;  // 0 unchecked, 1 checked
    bool enabled = false;
    bool visible = false;
    std::vector<std::string> items;  // list of a combo box
    int selection = -1;              // selected item, -1 none
    std::shared_ptr<const platform::Image> picture;
    std::uint64_t changes = 0;
};

class ConsoleControls {
public:
    // The console's controls from ConsoleLayout().
    ConsoleControls();
    explicit ConsoleControls(std::span<const ControlPlace> layout);

    bool Exists(int id) const;
    std::vector<int> Ids() const;
    ControlSnapshot Snapshot(int id) const;

    // Setters on an id that does not exist do nothing, like a dialog call on a missing control.
    // A setter that changes nothing leaves the change counters alone.
    std::string Text(int id) const;
    void SetText(int id, std::string_view text);
    void AppendText(int id, std::string_view text);
    int Check(int id) const;
    bool IsChecked(int id) const { return Check(id) == 1; }
    void SetCheck(int id, int state);
    bool Enabled(int id) const;
    void Enable(int id, bool on);
    bool Visible(int id) const;
    void Show(int id, bool on);
    void SetItems(int id, std::vector<std::string> items);
    int Selection(int id) const;
    void Select(int id, int index);
    std::shared_ptr<const platform::Image> Picture(int id) const;
    void SetPicture(int id, std::shared_ptr<const platform::Image> picture);

    std::uint64_t Changes(int id) const;
    // Grows by one with every change of any control.
    std::uint64_t Changes() const;

private:
    template <class F>
    void Change(int id, F&& f);

    mutable std::mutex mutex_;
    std::map<int, ControlSnapshot> controls_;
    std::uint64_t changes_ = 0;
};

}  // namespace kestrava::console
