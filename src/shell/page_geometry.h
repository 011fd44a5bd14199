// The calibrated page points the click primitives act on. Offsets are relative to the page
// anchor and already multiplied by the display scale; the anchor itself is in page-view
// coordinates. Screen perception fills the record from the geometry file and calibration; it is
// a plain record so that perception can add the regions it reads.
#pragma once

#include <array>
#include <climits>

namespace kestrava::shell {

struct PagePoint {
    int x = 0;
    int y = 0;
    bool operator==(const PagePoint&) const = default;
};

// a + b, saturating at the int limits.
inline int ClampedSum(int a, int b) {
    const long long sum = static_cast<long long>(a) + b;
    return sum > INT_MAX ? INT_MAX : sum < INT_MIN ? INT_MIN : static_cast<int>(sum);
}

struct PageGeometry {
    // Page anchor: the top-left corner of the page's network-status icon.
    int lvwf_x = 0;
    int lvwf_y = 0;

    int plusinput_picPot_x = 0, plusinput_picPot_y = 0;    // plus-amount input box
    int plusbutton_picPot_x = 0, plusbutton_picPot_y = 0;  // add-amount button
    int bidbutton_picPot_x = 0, bidbutton_picPot_y = 0;    // bid button ("出价")
    int bidinput_picPot_x = 0, bidinput_picPot_y = 0;      // bid-price input box
    int lastone_picPot_x = 0, lastone_picPot_y = 0;
    int C_P2_IMGCODE_IN_X = 0, C_P2_IMGCODE_IN_Y = 0;      // verification-code input box
    int vk_ret_info_enterx = 0, vk_ret_info_entery = 0;    // confirm button of "信息提示"
    int vk_esc_x = 0, vk_esc_y = 0;                        // the three cancel points of the
    int vk_esc_x2 = 0, vk_esc_y2 = 0;                      // verification-code dialog, clicked
    int vk_esc_x3 = 0, vk_esc_y3 = 0;                      // in this order
    // The 27 points clicked to press "确定" of the verification-code dialog.
    std::array<PagePoint, 27> vk_ret_code_enter{};

    // Anchor + offset: the page-view point to act on, clamped to the int range (the values come
    // from a file a person may have edited; a sum must not wrap around).
    PagePoint At(int offsetX, int offsetY) const {
        return PagePoint{ClampedSum(lvwf_x, offsetX), ClampedSum(lvwf_y, offsetY)};
    }
};

}  // namespace kestrava::shell
