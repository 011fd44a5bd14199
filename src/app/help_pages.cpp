#include "app/help_pages.h"

#include <cstdio>

namespace kestrava::app {

bool HelpPager::Next() {
    if (page_ >= kPages) return false;
    ++page_;
    return true;
}

void HelpPager::Previous() {
    if (page_ > 1) --page_;
}

std::string HelpPager::PictureName() const {
    char name[16];
    std::snprintf(name, sizeof name, "help_%02d.png", page_);
    return name;
}

}  // namespace kestrava::app
