#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace shoulu {

class TForm1;

// The domain list editor, one domain per line. Shown modally by the main window; the text
// is refilled from the domain box at every showing and only "保存设置" stores it.
class TForm2 : public QDialog
{
    Q_OBJECT

public:
    explicit TForm2(TForm1& form1);

    QPlainTextEdit* memo() const { return m_mmo1; }
    QPushButton* saveButton() const { return m_btn1; }

public Q_SLOTS:
    void btn1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();

    TForm1& m_form1;
    QPlainTextEdit* m_mmo1 = nullptr;
    QFrame* m_bspanel1 = nullptr;
    QLabel* m_bsSkinStdLabel1 = nullptr;
    QPushButton* m_btn1 = nullptr;
};

} // namespace shoulu
