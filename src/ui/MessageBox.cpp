#include "ui/MessageBox.h"

namespace shoulu {

namespace {

QMessageBox::StandardButton s_nextAnswer = QMessageBox::NoButton;
QMessageBox::StandardButton s_autoAnswer = QMessageBox::NoButton;
QString s_title;
QString s_lastText;
QString s_lastTitle;
QMessageBox::Icon s_lastIcon = QMessageBox::NoIcon;
int s_shownCount = 0;

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
    return show(parent, QMessageBox::Warning, text);
}

QMessageBox::StandardButton MessageBox::error(QWidget* parent, const QString& text)
{
    return show(parent, QMessageBox::Critical, text);
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
