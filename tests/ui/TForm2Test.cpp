#include "ui/TForm2.h"

#include "UiTest.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>

namespace shoulu::test {
namespace {

QStringList itemsOf(const QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i) {
        items.append(box->itemText(i));
    }
    return items;
}

class TForm2Test : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        listDomains(m_initial);
        m_form = openForm();
        m_editor = new TForm2(m_form->domainList(), m_form.get());
        m_form->setEditor(m_editor);
    }

    void TearDown() override { m_editor->hide(); }

    // Replaces the whole text, as a user would by typing or pasting.
    void typeText(const QString& text)
    {
        m_editor->memo()->selectAll();
        QTest::keyClick(m_editor->memo(), Qt::Key_Delete);
        m_editor->memo()->insertPlainText(text);
    }

    const QStringList m_initial { QStringLiteral("one.com"), QStringLiteral("two.com"), QStringLiteral("three.com") };
    std::unique_ptr<TForm1> m_form;
    TForm2* m_editor = nullptr; // owned by the main window
};

TEST_F(TForm2Test, DomainListButtonShowsTheItemsInAModalDialog)
{
    bool wasModal = false;
    QString shownText;
    QTimer::singleShot(0, [&] {
        wasModal = QApplication::activeModalWidget() == m_editor;
        shownText = m_editor->memo()->toPlainText();
        m_editor->reject();
    });
    child<QPushButton>(m_form.get(), "btn2")->click();
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(shownText, m_initial.join(QLatin1Char('\n')));
    EXPECT_FALSE(m_editor->isVisible());
}

TEST_F(TForm2Test, TextAreaScrollsWithTheSkinsWiderBar)
{
    m_editor->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_editor));
    const QScrollBar* bar = child<QScrollBar>(m_editor, "bsknscrlbr2");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar, m_editor->memo()->verticalScrollBar());
    EXPECT_EQ(bar->width(), 19);
}

TEST_F(TForm2Test, ClosingWithoutSavingDropsTheTypedTextAndStoresNothing)
{
    m_editor->show();
    typeText(QStringLiteral("unsaved.com"));
    m_editor->close();
    EXPECT_EQ(storedDomains(), m_initial);
    EXPECT_EQ(itemsOf(m_form->domainBox()), m_initial);

    m_editor->show();
    EXPECT_EQ(m_editor->memo()->toPlainText(), m_initial.join(QLatin1Char('\n')));
}

TEST_F(TForm2Test, SavingTheUnchangedTextKeepsTheListAndItsOrder)
{
    m_editor->show();
    m_editor->saveButton()->click();
    EXPECT_FALSE(m_editor->isVisible());
    EXPECT_EQ(m_editor->result(), QDialog::Accepted);
    EXPECT_EQ(storedDomains(), m_initial);
    EXPECT_EQ(itemsOf(m_form->domainBox()), m_initial);
    EXPECT_EQ(m_form->domainBox()->currentText(), QStringLiteral("three.com"));
}

TEST_F(TForm2Test, SavingAnEmptyTextEmptiesTheListButKeepsTheBoxText)
{
    m_form->domainBox()->setCurrentIndex(0);
    m_editor->show();
    typeText(QString());
    m_editor->saveButton()->click();
    EXPECT_TRUE(storedDomains().isEmpty());
    EXPECT_EQ(m_form->domainBox()->count(), 0);
    EXPECT_EQ(m_form->domainBox()->currentText(), QStringLiteral("one.com"));
    EXPECT_FALSE(m_editor->isVisible());
}

struct Edit
{
    const char* name;
    const char* typed;
    QStringList stored;
};

class EditorSaveTest : public TForm2Test, public ::testing::WithParamInterface<Edit>
{
};

TEST_P(EditorSaveTest, StoresTheCleanedLinesAndReloadsTheBox)
{
    m_editor->show();
    typeText(QString::fromUtf8(GetParam().typed));
    m_editor->saveButton()->click();
    const QStringList& expected = GetParam().stored;
    EXPECT_EQ(storedDomains(), expected);
    EXPECT_EQ(itemsOf(m_form->domainBox()), expected);
    EXPECT_EQ(m_form->domainBox()->currentText(), expected.last());
    EXPECT_FALSE(m_editor->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Lines, EditorSaveTest,
    ::testing::Values(
        Edit { "LaterRepeatInOtherCaseStoredOnceAtFirstPlace", "Alpha.com\nbeta.com\nALPHA.COM\nalpha.com",
            { QStringLiteral("Alpha.com"), QStringLiteral("beta.com") } },
        Edit { "LeadingAndTrailingBlanksTrimmed", "  spaced.com \t\nplain.com   ",
            { QStringLiteral("spaced.com"), QStringLiteral("plain.com") } },
        Edit { "BlankLinesSkipped", "\n  \nx.com\n\n\ny.com\n", { QStringLiteral("x.com"), QStringLiteral("y.com") } },
        Edit { "RepeatThatOnlyDiffersByBlanksStoredOnce", "x.com\n x.com ", { QStringLiteral("x.com") } },
        Edit { "ReorderedListKeepsNewOrder", "three.com\none.com",
            { QStringLiteral("three.com"), QStringLiteral("one.com") } },
        Edit { "PastedUrlCutToHostAndPath", "http://www.a.com/x/?q=1#f\n例子.中国",
            { QStringLiteral("www.a.com/x/"), QStringLiteral("例子.中国") } }),
    [](const ::testing::TestParamInfo<Edit>& info) { return std::string(info.param.name); });

// Names an older version stored: one a line, controls escaped, kept when saved unchanged; an
// escaped one is refused by its line number, like any bad line, and nothing is saved.
TEST_F(TForm2Test, OldNamesAreShownEscapedAndBadLinesRefusedByNumber)
{
    listDomains({ QStringLiteral("old name.com"), QStringLiteral("two\nlines.com") });
    ASSERT_TRUE(m_form->loadDomain().ok());
    m_editor->show();
    const QString shown = m_editor->memo()->toPlainText();
    EXPECT_EQ(shown,
        (m_initial + QStringList { QStringLiteral("old name.com"), QStringLiteral("two\\u000alines.com") })
            .join(QLatin1Char('\n')));
    m_editor->saveButton()->click();
    EXPECT_TRUE(MessageBox::lastText().contains(QStringLiteral("第 5 行：域名无效")))
        << MessageBox::lastText().toStdString();
    EXPECT_EQ(storedDomains().size(), 5);
    EXPECT_TRUE(m_editor->isVisible());

    typeText(shown.left(shown.lastIndexOf(QLatin1Char('\n'))));
    m_editor->saveButton()->click();
    EXPECT_EQ(storedDomains(), m_initial + QStringList { QStringLiteral("old name.com") });
}

TEST_F(TForm2Test, FailedSaveKeepsThePreviousListAndTheDialogOpenWithTheText)
{
    execOther("CREATE TRIGGER refuse BEFORE INSERT ON domain WHEN NEW.domain = 'bad.com'"
              " BEGIN SELECT RAISE(ABORT, 'refused by test'); END");
    m_editor->show();
    const QString typed = QStringLiteral("new.com\nbad.com\nlater.com");
    typeText(typed);
    m_editor->saveButton()->click();

    EXPECT_EQ(MessageBox::shownCount(), 1);
    EXPECT_TRUE(MessageBox::lastText().contains(QStringLiteral("refused by test")))
        << MessageBox::lastText().toStdString();
    EXPECT_EQ(storedDomains(), m_initial);
    EXPECT_EQ(itemsOf(m_form->domainBox()), m_initial);
    EXPECT_TRUE(m_editor->isVisible());
    EXPECT_EQ(m_editor->memo()->toPlainText(), typed);

    // Corrected and saved again, the list is replaced as a whole.
    execOther("DROP TRIGGER refuse");
    m_editor->saveButton()->click();
    EXPECT_EQ(storedDomains(),
        (QStringList { QStringLiteral("new.com"), QStringLiteral("bad.com"), QStringLiteral("later.com") }));
    EXPECT_FALSE(m_editor->isVisible());
}

TEST_F(TForm2Test, CancelClosesWithoutStoring)
{
    m_editor->show();
    typeText(QStringLiteral("other.com"));
    m_editor->cancelButton()->click();
    EXPECT_FALSE(m_editor->isVisible());
    EXPECT_EQ(m_editor->result(), QDialog::Rejected);
    EXPECT_EQ(storedDomains(), m_initial);
}

TEST_F(TForm2Test, EmptyingTheListAsksFirstAndCancelKeepsIt)
{
    m_editor->show();
    typeText(QStringLiteral("\n  \n"));
    MessageBox::setNextAnswer(QMessageBox::Cancel);
    m_editor->saveButton()->click();
    EXPECT_EQ(MessageBox::lastIcon(), QMessageBox::Question);
    EXPECT_EQ(storedDomains(), m_initial);
    EXPECT_TRUE(m_editor->isVisible());
}

TEST_F(TForm2Test, PassedOverLinesAreToldInOneMessageAfterTheSaveAndTheTypedTextStays)
{
    m_form->domainBox()->setEditText(QStringLiteral("typed.com"));
    m_editor->show();
    typeText(QStringLiteral("a.com\n\nA.com\nb.com"));
    m_editor->saveButton()->click();
    EXPECT_EQ(storedDomains(), QStringList({ QStringLiteral("a.com"), QStringLiteral("b.com") }));
    EXPECT_EQ(MessageBox::shownCount(), 1);
    EXPECT_TRUE(MessageBox::lastText().contains(QStringLiteral("第 3 行"))) << MessageBox::lastText().toStdString();
    EXPECT_TRUE(MessageBox::lastText().contains(QStringLiteral("第 2 行"))) << MessageBox::lastText().toStdString();
    EXPECT_EQ(m_form->domainBox()->currentText(), QStringLiteral("typed.com"));
}

} // namespace
} // namespace shoulu::test
