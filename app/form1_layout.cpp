// The window on small screens and at the keyboard: a minimum size at which every control of the
// left panel is visible (a 1024 x 600 screen holds it with its title bar and a task bar), the
// page control giving way at the bottom of a low window, and the panel's controls in the order
// an operator goes through them with Tab.
#include "app/form1.h"

#include "app/AlarmStrip.h"

#include <QEvent>
#include <QPushButton>
#include <QTabBar>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr int Panel1Width = 217;
constexpr int PageControlTop = 248;    // right below "Start cyklu" and "STOP"
constexpr int PageControlHeight = 321; // at the design size
constexpr int MinimumChartWidth = 600;
// The "Regulator" tab's rows with a margin, when they draw closer together.
constexpr int TabPageMinimum = 261;
constexpr double MostRowsCloser = 0.8; // the rows' spacing never shrinks below this share

// Runs `fit` whenever the watched page is resized.
class TPageFit : public QObject {
public:
    TPageFit(QWidget* page, std::function<void(int height)> fit) : QObject(page), fit_(std::move(fit)) {
        page->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Resize) fit_(static_cast<QWidget*>(watched)->height());
        return false;
    }

private:
    std::function<void(int)> fit_;
};

} // namespace

void TForm1::ArrangeControls() {
    const int tabBar = t->tabBar()->sizeHint().height();
    setMinimumSize(Panel1Width + MinimumChartWidth, PageControlTop + tabBar + 4 + TabPageMinimum);

    // "COM": the communication list gives way, the two test rows keep to the bottom of the page.
    struct Placed {
        QWidget* widget;
        int y;
    };
    const std::vector<Placed> testRows = {{Label19, Label19->y()}, {Edit13, Edit13->y()},
                                          {Button9, Button9->y()}, {Label20, Label20->y()},
                                          {Edit14, Edit14->y()},   {Button10, Button10->y()}};
    const int listHeight = ListBox2->height();
    const int lastRowBottom = Edit14->geometry().bottom() + 1;
    new TPageFit(TabSheet3, [=, this](int height) {
        const int shift = std::min(0, height - 4 - lastRowBottom);
        for (const Placed& p : testRows)
            p.widget->move(p.widget->x(), p.y + shift);
        ListBox2->resize(ListBox2->width(), std::max(40, listHeight + shift));
    });
    // "Regulator": its rows draw closer together (by a fifth at most) when the page is low.
    std::vector<Placed> rows;
    for (QWidget* w : TabSheet1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        rows.push_back({w, w->y()});
    new TPageFit(TabSheet1, [rows](int height) {
        int top = height, bottom = 0;
        for (const Placed& p : rows) {
            // A label still without its text (shown later) is as high as its text will be.
            const QSize hint = p.widget->sizeHint();
            const int h = hint.isValid() ? std::min(p.widget->height(), hint.height()) : p.widget->height();
            top = std::min(top, p.y);
            bottom = std::max(bottom, p.y + h);
        }
        if (bottom <= top) return;
        const double k =
            std::clamp(static_cast<double>(height - 4 - top) / (bottom - top), MostRowsCloser, 1.0);
        for (const Placed& p : rows)
            p.widget->move(p.widget->x(), top + static_cast<int>(std::lround((p.y - top) * k)));
    });
    // "Prubeh 1", "Prubeh 2": the program lists give way.
    for (auto [page, list] : {std::pair{TabSheet4, ListBox1}, std::pair{TabSheet5, ListBox3}}) {
        const int designHeight = list->height();
        new TPageFit(page, [list, designHeight](int height) {
            list->resize(list->width(), std::clamp(height - list->y() - 4, 40, designHeight));
        });
    }

    // Tab: the sides, the setpoints and switches, Start and STOP, then each tab's controls from
    // top to bottom, and the alarm strip's "Potvrdit" last.
    const std::vector<QWidget*> order = {CheckBoxTopeni1,
                                         ButtonPotvrdit1,
                                         CheckBoxTopeni2,
                                         ButtonPotvrdit2,
                                         Edit1,
                                         Edit12,
                                         CheckBoxRegulace,
                                         CheckBox3,
                                         Edit15,
                                         Button5,
                                         Button6,
                                         t,
                                         Edit2,
                                         Edit3,
                                         Edit4,
                                         Edit8,
                                         Edit16,
                                         Edit17,
                                         Button4,
                                         ButtonAutotune,
                                         EditMaxT1,
                                         EditMaxT2,
                                         ButtonMaxT,
                                         Edit6,
                                         Edit9,
                                         Button1,
                                         CheckBox1,
                                         CheckBox2,
                                         ListBox2,
                                         Edit13,
                                         Button9,
                                         Edit14,
                                         Button10,
                                         ListBox1,
                                         Button2,
                                         Edit5,
                                         Edit7,
                                         Button3,
                                         ListBox3,
                                         Button7,
                                         Edit10,
                                         Edit11,
                                         Button8,
                                         PanelAlarmy->ButtonPotvrdit};
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TForm1::FitPanel() {
    // The page control keeps its design height while there is room; in a lower window it begins
    // right below the big buttons and its lists give way (see ArrangeControls).
    const int h = height();
    const int top = std::max(PageControlTop, h - PageControlHeight);
    t->setGeometry(0, top, Panel1Width, std::min(PageControlHeight, std::max(0, h - PageControlTop)));
}
