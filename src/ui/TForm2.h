#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

#include <QStringList>

namespace shoulu {

class DomainList;

// The domain list editor, one domain per line. Whoever shows it hands in the current items
// first (setItems); only "保存设置" stores the text, and saved() tells the owner to reload.
//     editor->setItems(items); editor->exec();
class TForm2 : public QDialog
{
    Q_OBJECT

public:
    explicit TForm2(DomainList& domains, QWidget* parent = nullptr);

    // The items shown at the next showing; also the stored names an older version let in.
    void setItems(const QStringList& items);

    QPlainTextEdit* memo() const { return m_memo; }
    QPushButton* saveButton() const { return m_saveButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

Q_SIGNALS:
    // The list was stored; the dialog closes after this.
    void saved();

public Q_SLOTS:
    void save();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void reportPassedOver(const QList<int>& blankLines, const QList<int>& repeatLines);

    DomainList& m_domains;
    QStringList m_items;
    QPlainTextEdit* m_memo = nullptr;
    QFrame* m_bottomPanel = nullptr;
    QLabel* m_hint = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};

} // namespace shoulu
