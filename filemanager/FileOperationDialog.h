#pragma once

#include "FileOperator.h"

#include <QDialog>

class Ui_FileOperationDialog;

// The modal dialog shown while a paste runs: a message and a thin progress bar. It closes
// by itself, accepted, when the paste completes; after an error it shows the reason and
// an OK button that closes it, rejected. While the paste runs nothing closes it.
class FileOperationDialog : public QDialog
{
    Q_OBJECT

public:
    explicit FileOperationDialog(QWidget *parent = nullptr);
    ~FileOperationDialog() override;

    void initialize();
    void start();
    void setProgress(float percent);

    float barWidth() const { return m_BarWidth; }
    bool isPainting() const { return m_Painting; }
    bool isRunning() const { return m_Running; }

    static constexpr int BarLength = 502;
    static constexpr int StepDelayMs = 200;

public Q_SLOTS:
    void slotSetTotalFileCountAndSize(int count, quint64 bytes);
    void slotSetCurrentFileCountAndSize(int count, quint64 bytes);
    void slotCompleted();
    void slotPasteError(FileOperationPasteError error);
    void reject() override;

private Q_SLOTS:
    void on_BUTTON_OK_clicked();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    float m_BarWidth;
    bool m_Painting;
    int m_TotalCount;
    quint64 m_TotalBytes;
    Ui_FileOperationDialog *ui;
    bool m_Running;
    int m_Generation;
};
