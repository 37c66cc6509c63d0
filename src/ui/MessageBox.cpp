#include "ui/MessageBox.h"

#include <QRegularExpression>

namespace shoulu {

namespace {

QMessageBox::StandardButton s_nextAnswer = QMessageBox::NoButton;
QMessageBox::StandardButton s_autoAnswer = QMessageBox::NoButton;
QString s_title;
QString s_lastText;
QString s_lastTitle;
QMessageBox::Icon s_lastIcon = QMessageBox::NoIcon;
int s_shownCount = 0;

// The store says in English when a statement finds a file damaged; the window says it in Chinese,
// with what to do, and keeps the store's words for whoever reports it.
QString inWindowWords(const QString& text)
{
    static const QRegularExpression damaged(QStringLiteral("; (.+) is damaged: set it aside"));
    const auto match = damaged.match(text);
    if (!match.hasMatch()) {
        return text;
    }
    const QString file = match.captured(1);
    const bool archive = file.endsWith(QLatin1String("pages.dat"));
    return QStringLiteral("文件 %1 已损坏。请把它移到别处%2\n（%3）")
        .arg(file,
            archive ? QStringLiteral("，程序会新建网页存档。") : QStringLiteral("，再用“shoulu-cli init”新建一个。"),
            text);
}

} // namespace

void MessageBox::setTitle(const QString& title)
{
    s_title = title;
}

QMessageBox::StandardButton MessageBox::plain(QWidget* parent, const QString& text)
{
    return show(parent, QMessageBox::NoIcon, text);
}

QMessageBox::StandardButton MessageBox::warning(QWidget* parent, const QString& text)
{
    return show(parent, QMessageBox::Warning, inWindowWords(text));
}

QMessageBox::StandardButton MessageBox::error(QWidget* parent, const QString& text)
{
    return show(parent, QMessageBox::Critical, inWindowWords(text));
}

bool MessageBox::confirm(QWidget* parent, const QString& text)
{
    return show(parent, QMessageBox::Question, text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton button)
{
    s_nextAnswer = button;
}

void MessageBox::setAutoAnswer(QMessageBox::StandardButton button)
{
    s_autoAnswer = button;
}

QString MessageBox::lastText()
{
    return s_lastText;
}

QString MessageBox::lastTitle()
{
    return s_lastTitle;
}

QMessageBox::Icon MessageBox::lastIcon()
{
    return s_lastIcon;
}

int MessageBox::shownCount()
{
    return s_shownCount;
}

void MessageBox::clearLastText()
{
    s_lastText.clear();
    s_lastTitle.clear();
    s_lastIcon = QMessageBox::NoIcon;
    s_shownCount = 0;
}

QMessageBox::StandardButton MessageBox::show(
    QWidget* parent, QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons)
{
    s_lastText = text;
    s_lastTitle = s_title;
    s_lastIcon = icon;
    ++s_shownCount;
    if (s_nextAnswer != QMessageBox::NoButton) {
        const auto answer = s_nextAnswer;
        s_nextAnswer = QMessageBox::NoButton;
        return answer;
    }
    if (s_autoAnswer != QMessageBox::NoButton) {
        return s_autoAnswer;
    }
    QMessageBox box(icon, s_title, text, buttons, parent);
    box.setEscapeButton(buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::Ok);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace shoulu
