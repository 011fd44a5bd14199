// Paging through the ten help pictures shown before the console.
#pragma once

#include <string>

namespace kestrava::app {

class HelpPager {
public:
    static constexpr int kPages = 10;

    int Page() const { return page_; }
    // False when the step went past the last page: the help is over and the console opens.
    bool Next();
    // Never below the first page.
    void Previous();
    // The picture of the current page, e.g. "help_01.png".
    std::string PictureName() const;

private:
    int page_ = 1;
};

}  // namespace kestrava::app
