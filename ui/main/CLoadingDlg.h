#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

// The progress window of a save: a status line and a bar from 0 to 100, without a caption. While a save runs
// it cannot be closed, and Enter and Escape never close it.
class CLoadingDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CLoadingDlg(QWidget* parent);

    void SetBusy(int busy) { m_bBusy = busy; }
    bool IsBusy() const { return m_bBusy != 0; }
    void SetStatusText(QString text);
    void SetProgressPos(int position);
    QString StatusText() const;
    int ProgressPos() const;
    // Places the window over the centre of `window`.
    void CenterOn(const QWidget* window);

Q_SIGNALS:
    void statusTextChanged(const QString& text);
    void progressPosChanged(int position);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    int m_bBusy = 0;
    QLabel* m_stcStatus;
    QProgressBar* m_ctlProgress;
};
