#include "ui/TForm2.h"

#include "query/DomainText.h"
#include "store/DomainList.h"
#include "ui/MessageBox.h"
#include "ui/Skin.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>

namespace shoulu {

namespace {

constexpr int ClientWidth = 526;
constexpr int ClientHeight = 312;
constexpr int BottomPanelHeight = 72;

// The lines of the text area; a final line break does not start an empty last line.
QStringList linesOf(const QString& text)
{
    if (text.isEmpty()) {
        return {};
    }
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

} // namespace

TForm2::TForm2(DomainList& domains, QWidget* parent)
    : QDialog(parent)
    , m_domains(domains)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("编辑待查询域名列表"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // No caption icon: a blank one rather than the application's.
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    setWindowIcon(QIcon(blank));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("mmo1"));
    // Named rather than replaced: the text area keeps its own connections to the bar it made.
    m_memo->verticalScrollBar()->setObjectName(QStringLiteral("bsknscrlbr2"));
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_memo->setTabChangesFocus(true);
    layout->addWidget(m_memo, 1);

    m_bottomPanel = new QFrame(this);
    m_bottomPanel->setObjectName(QStringLiteral("bspanel1"));
    m_bottomPanel->setFixedHeight(BottomPanelHeight);
    layout->addWidget(m_bottomPanel);

    m_hint = new QLabel(QStringLiteral("每行只能填写一个域名，WWW和不带WWW的查询结果不同。"), m_bottomPanel);
    m_hint->setObjectName(QStringLiteral("bsSkinStdLabel1"));
    m_hint->setGeometry(104, 8, 330, 16);

    m_saveButton = new QPushButton(QStringLiteral("保存设置"), m_bottomPanel);
    m_saveButton->setObjectName(QStringLiteral("btn1"));
    m_saveButton->setGeometry(189, 32, 75, 25);
    m_saveButton->setAutoDefault(false);
    connect(m_saveButton, &QPushButton::clicked, this, &TForm2::save);

    m_cancelButton = new QPushButton(QStringLiteral("取消"), m_bottomPanel);
    m_cancelButton->setObjectName(QStringLiteral("btnCancel"));
    m_cancelButton->setGeometry(269, 32, 75, 25);
    m_cancelButton->setAutoDefault(false);
    connect(m_cancelButton, &QPushButton::clicked, this, &TForm2::reject);

    resize(ClientWidth, ClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    // Last: named parts such as the scroll bar are styled by the names given above.
    setStyleSheet(Skin::styleSheet());
}

void TForm2::setItems(const QStringList& items)
{
    m_items = items;
}

void TForm2::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    QStringList shown;
    for (const QString& item : std::as_const(m_items)) {
        // Escaped: an old name with a line break in it must not come back as two names.
        shown.append(escapeControls(item));
    }
    m_memo->setPlainText(shown.join(QLatin1Char('\n')));
}

void TForm2::save()
{
    const DomainLines lines = checkDomainLines(linesOf(m_memo->toPlainText()), m_items);
    if (!lines.faults.isEmpty()) {
        constexpr qsizetype Shown = 10;
        QStringList why;
        for (const auto& [line, fault] : lines.faults.first(qMin(Shown, lines.faults.size()))) {
            why.append(QStringLiteral("第 %1 行：域名无效：%2").arg(line).arg(fault.messageZh()));
        }
        if (lines.faults.size() > Shown) {
            why.append(QStringLiteral("……另有 %1 行").arg(lines.faults.size() - Shown));
        }
        MessageBox::error(this, why.join(QLatin1Char('\n')) + QStringLiteral("\n域名列表没有保存。"));
        return;
    }
    if (lines.domains.isEmpty() && !m_items.isEmpty()
        && !MessageBox::confirm(this, QStringLiteral("列表中没有域名，保存后域名列表将被清空。确定要保存吗？"))) {
        return;
    }
    if (const auto stored = m_domains.replaceAll(lines.domains); !stored) {
        MessageBox::error(this, stored.error());
        return;
    }
    m_items = lines.domains;
    Q_EMIT saved();
    accept();
    reportPassedOver(lines.blankLines, lines.repeatLines);
}

void TForm2::reportPassedOver(const QList<int>& blankLines, const QList<int>& repeatLines)
{
    const auto numbers = [](const QList<int>& lineNumbers) {
        QStringList texts;
        for (const int line : lineNumbers) {
            texts.append(QString::number(line));
        }
        return texts.join(QStringLiteral("、"));
    };
    QStringList why;
    if (!repeatLines.isEmpty()) {
        why.append(QStringLiteral("重复的域名（第 %1 行）只保存了一次。").arg(numbers(repeatLines)));
    }
    if (!blankLines.isEmpty()) {
        why.append(QStringLiteral("空行（第 %1 行）已略过。").arg(numbers(blankLines)));
    }
    if (!why.isEmpty()) {
        MessageBox::plain(parentWidget(), QStringLiteral("域名列表已保存。\n") + why.join(QLatin1Char('\n')));
    }
}

} // namespace shoulu
