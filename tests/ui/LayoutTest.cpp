// The windows as laid out from their templates with the real Japanese font: every text
// fits its control, no two controls overlap, and everything lies inside the window.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QMenuBar>
#include <memory>

#include "settings/SettingsStore.h"
#include "tests/support/TestSupport.h"
#include "ui/qt/AboutDialog.h"
#include "ui/qt/DialogLayout.h"
#include "ui/qt/DialogUnits.h"
#include "ui/qt/GroupFrame.h"
#include "ui/qt/MailSecurityDialog.h"
#include "ui/qt/MailSettingsDialog.h"
#include "ui/qt/MonitorDialog.h"

namespace tolvane {
namespace {

void ExpectNothingClippedOrOverlapping(QWidget& window) {
    SCOPED_TRACE(window.objectName().toStdString());
    window.show();
    std::vector<QWidget*> controls;
    for (QWidget* child : window.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child->isWindow() || qobject_cast<QMenuBar*>(child) != nullptr) {
            continue;
        }
        controls.push_back(child);
    }
    ASSERT_FALSE(controls.empty());
    for (QWidget* control : controls) {
        const std::string name = control->metaObject()->className() + std::string(" ") +
                                 control->objectName().toStdString();
        EXPECT_TRUE(window.rect().contains(control->geometry()))
            << name << " lies outside the window";
        if (qobject_cast<QLabel*>(control) != nullptr ||
            qobject_cast<QAbstractButton*>(control) != nullptr ||
            qobject_cast<GroupFrame*>(control) != nullptr) {
            EXPECT_LE(DialogUnits::NeededWidth(control), control->width())
                << name << " clips its text";
            EXPECT_LE(control->fontMetrics().height(), control->height())
                << name << " clips its text";
        }
    }
    for (std::size_t i = 0; i < controls.size(); ++i) {
        for (std::size_t j = i + 1; j < controls.size(); ++j) {
            // The group frame surrounds its fields.
            if (qobject_cast<GroupFrame*>(controls[i]) || qobject_cast<GroupFrame*>(controls[j])) {
                continue;
            }
            EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                << controls[i]->metaObject()->className() << " "
                << controls[i]->objectName().toStdString() << " overlaps "
                << controls[j]->metaObject()->className() << " "
                << controls[j]->objectName().toStdString();
        }
    }
}

TEST(LayoutTest, NoWindowClipsOrOverlaps) {
    test::TempDir dir;
    RegistryHive hive(dir.File("HKEY_CLASSES_ROOT.reg"));
    MonitorDialog main(hive, CycleParts{});
    ExpectNothingClippedOrOverlapping(main);
    SettingsStore store(hive);
    MailSettingsDialog mail(store, MailDispatch{}, &main);
    ExpectNothingClippedOrOverlapping(mail);
    MailSecurityDialog security(&mail);
    ExpectNothingClippedOrOverlapping(security);
    AboutDialog about(&main);
    ExpectNothingClippedOrOverlapping(about);
}

// A font whose Japanese is wide against its Latin letters: the boxes widen to the text, and the
// window with them, keeping its proportions.
TEST(LayoutTest, BoxesTooNarrowForTheirTextWidenTheWholeWindow) {
    QWidget window;
    QFont font(QStringLiteral("IPAGothic"));
    font.setPixelSize(16);
    window.setFont(font);
    auto* label = new QLabel(QString::fromUtf8("チェックするポート(&P) ( 0～ 65535番) :"), &window);
    auto* next = new QLabel(QStringLiteral("x"), &window);
    DialogLayout layout;
    layout.Add(label, 5, 26, 60, 8);
    layout.Add(next, 70, 26, 20, 8);
    layout.Apply(&window, 100, 40);
    const DialogUnits natural(font);
    EXPECT_GT(layout.Units().BaseX(), natural.BaseX())
        << "the box was wide enough already; no test";
    EXPECT_LE(DialogUnits::NeededWidth(label), label->width());
    EXPECT_FALSE(label->geometry().intersects(next->geometry()));
    EXPECT_EQ(window.width(), layout.Units().X(100));
    EXPECT_EQ(window.height(), natural.Y(40)) << "heights keep the font's unit";
}

}  // namespace
}  // namespace tolvane
