#include "ui/TForm2.h"

#include "query/DomainText.h"
#include "store/DomainList.h"
#include "ui/MessageBox.h"
#include "ui/TForm1.h"

#include <QComboBox>
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

TForm2::TForm2(TForm1& form1)
    : QDialog(&form1)
    , m_form1(form1)
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

    m_mmo1 = new QPlainTextEdit(this);
    m_mmo1->setObjectName(QStringLiteral("mmo1"));
    // Named rather than replaced: the text area keeps its own connections to the bar it made.
    m_mmo1->verticalScrollBar()->setObjectName(QStringLiteral("bsknscrlbr2"));
    m_mmo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_mmo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_mmo1->setTabChangesFocus(true);
    layout->addWidget(m_mmo1, 1);

    m_bspanel1 = new QFrame(this);
    m_bspanel1->setObjectName(QStringLiteral("bspanel1"));
    m_bspanel1->setFixedHeight(BottomPanelHeight);
    layout->addWidget(m_bspanel1);

    m_bsSkinStdLabel1 = new QLabel(QStringLiteral("每行只能填写一个域名，WWW和不带WWW的查询结果不同。"), m_bspanel1);
    m_bsSkinStdLabel1->setObjectName(QStringLiteral("bsSkinStdLabel1"));
    m_bsSkinStdLabel1->setGeometry(104, 8, 330, 16);

    m_btn1 = new QPushButton(QStringLiteral("保存设置"), m_bspanel1);
    m_btn1->setObjectName(QStringLiteral("btn1"));
    m_btn1->setGeometry(229, 32, 75, 25);
    m_btn1->setAutoDefault(false);
    connect(m_btn1, &QPushButton::clicked, this, &TForm2::btn1Click);

    resize(ClientWidth, ClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    FormCreate();
}

void TForm2::FormCreate()
{
    setStyleSheet(m_form1.styleSheet());
}

void TForm2::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TForm2::FormShow()
{
    const QComboBox* box = m_form1.domainBox();
    QStringList items;
    for (int i = 0; i < box->count(); ++i) {
        // Escaped: an old name with a line break in it must not come back as two names.
        items.append(escapeControls(box->itemText(i)));
    }
    m_mmo1->setPlainText(items.join(QLatin1Char('\n')));
}

void TForm2::btn1Click()
{
    const DomainLines lines = checkDomainLines(linesOf(m_mmo1->toPlainText()), m_form1.domainItems());
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
    if (const auto saved = m_form1.domainList().replaceAll(lines.domains); !saved) {
        MessageBox::error(this, saved.error());
        return;
    }
    if (const auto loaded = m_form1.loadDomain(); !loaded) {
        MessageBox::error(this, loaded.error());
        return;
    }
    accept();
}

} // namespace shoulu
