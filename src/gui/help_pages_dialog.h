// The help pages (template 130): ten pictures that teach the console, the practice run and the
// strategies, shown once before the console. However the person leaves them, the console opens.
#pragma once

#include <QDialog>

#include "app/help_pages.h"

class QLabel;

namespace kestrava::gui {

class CRegBidNum final : public QDialog {
    Q_OBJECT
public:
    explicit CRegBidNum(QWidget* parent = nullptr);

    int Page() const { return pager_.Page(); }
    void OnNext();
    void OnPrevious();
    void OnSkip();
    // The picture of a page, from the program's resources.
    static QString PicturePath(const app::HelpPager& pager);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ShowPage();

    app::HelpPager pager_;
    QLabel* picture_;
};

}  // namespace kestrava::gui
