// Every text of the main window fits its box in the fonts the platform offers:
// no label, caption, tab title or list item is cut off, and ten of the widest
// characters fit a screen text box. Run on Linux and, in the Windows build,
// under Wine.
#include "ui/main_window.h"
#include "ui/program.h"

#include <QTest>
#include <QtWidgets>

class TextFit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { program::setUp(*qApp); }

    void noTextClipped()
    {
        fMain window;
        window.Form_Load(QString()); // no port: the window opens without a display
        QStringList clipped;
        // Measured as drawn: in the screen's pixels, where the font is hinted.
        const qreal ratio = window.devicePixelRatioF();
        const auto fit = [&clipped, ratio](const QFont &font, const QString &text, QSize room) {
            QFont drawn = font;
            drawn.setPointSizeF(font.pointSizeF() * ratio);
            const QFontMetrics fm(drawn);
            if (fm.horizontalAdvance(text) > room.width() * ratio ||
                fm.height() > room.height() * ratio)
                clipped << text;
        };
        for (const QLabel *l : window.findChildren<QLabel *>())
            fit(l->font(), l->text(), l->size());
        for (const QPushButton *b : window.findChildren<QPushButton *>())
            fit(b->font(), b->text(), b->size() - QSize(8, 4));
        auto *longBeep = window.findChild<QPushButton *>(QStringLiteral("DlugiDzwiek_Command"));
        fit(longBeep->font(), QStringLiteral("Wyłącz długi dźwięk"),
            longBeep->size() - QSize(8, 4));
        for (const QGroupBox *g : window.findChildren<QGroupBox *>()) {
            QFont bold = g->font();
            bold.setBold(true); // some styles draw frame captions bold
            fit(bold, g->title(), QSize(g->width() - 16, g->height()));
        }
        const QTabBar *bar = window.findChild<QTabWidget *>()->tabBar();
        for (int i = 0; i < bar->count(); ++i)
            fit(bar->font(), bar->tabText(i), bar->tabRect(i).size() - QSize(8, 0));
        for (QComboBox *combo : window.findChildren<QComboBox *>()) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                               QStyle::SC_ComboBoxEditField, combo);
            for (int i = 0; i < combo->count(); ++i)
                fit(combo->font(), combo->itemText(i), QSize(field.width(), combo->height()));
        }
        for (QLineEdit *edit : window.findChildren<QLineEdit *>()) {
            const QRect inside = edit->contentsRect().marginsRemoved(edit->textMargins());
            if (edit->objectName().startsWith(QLatin1String("Tekst")))
                fit(edit->font(), QString(10, u'W'), inside.size() - QSize(2, 0));
        }
        QCOMPARE(clipped, QStringList());
    }
};

QTEST_MAIN(TextFit)
#include "tst_text_fit.moc"
