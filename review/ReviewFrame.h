#pragma once

#include "MetaTypes.h"

#include <QFrame>
#include <QString>
#include <string>
#include <vector>

class Ui_ReviewFrame;

// The Review menu screen. Saved-image review: a folder tree of the data folder and the USB
// volumes, the totals and annotated images of the selected save folder, re-analysis
// requests and the file actions. Previous counts: the results log, newest first, with
// ERASE ALL and EXPORT CSV.
class ReviewFrame : public QFrame
{
    Q_OBJECT

public:
    enum ReviewUIState { REVIEW_IMAGE = 0, PREVIOUS_COUNTS = 1 };
    enum ReviewImageUIState { REDUCED_IMAGE = 0, EXPANDED_IMAGE = 1 };

    explicit ReviewFrame(QWidget *parent = nullptr);
    ~ReviewFrame() override;

    // Once, after construction, by the main window.
    void initialize();
    void setMainUIState(int state);
    void setSubUIState(int state);

    // The volume root of an instrument path: "/ORBELIN", "/media/<stick>", or the path
    // before its third "/".
    static QString extract_mountpoint(const QString &path);
    // The free space of the volume holding the path, as "500.0 M", "20.0 G", "3.0 T".
    static QString disk_capacity_ToString(const QString &path);
    // The same text for a free space in MiB.
    static QString capacityText(float freeMiB);

public Q_SLOTS:
    void slotCurrentItemChanged(const QString &path, bool isChild);
    void slotAppendCSVData(std::string line);
    void slotFilenameReplaced(const QString &name);
    void slotClearClipboard();
    void slotEnableScaleBarDisplay(bool enable);
    void slotEnableSecurityMode(bool enable);

Q_SIGNALS:
    // The pixels belong to the sender and are freed right after the call.
    void signalSetImageData(unsigned char *pixels, int width, int height, int bitsPerPixel);
    void signalAnalysis(const QString &folder);
    void signalCSVRemoved();

protected:
    void showEvent(QShowEvent *event) override;
    // Keeps the tree's cut, copy and paste keys behind the security lock.
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void on_BUTTON_REVIEW_IMAGE_clicked();
    void on_BUTTON_PREVIOUS_COUNTS_clicked();
    void on_BUTTON_EXPAND_clicked();
    void on_BUTTON_REDUCE_clicked();
    void on_BUTTON_PREVIOUS_clicked();
    void on_BUTTON_NEXT_clicked();
    void on_BUTTON_RE_ANALYSIS_clicked();
    void on_BUTTON_ERASE_ALL_clicked();
    void on_BUTTON_EXPORT_CSV_clicked();
    void on_BUTTON_CUT_clicked();
    void on_BUTTON_COPY_clicked();
    void on_BUTTON_PASTE_clicked();
    void on_BUTTON_DELETE_clicked();

private:
    bool ignoreVanishedPath(const QString &path, bool isChild) const;
    void applySelectionRule(bool isChild);
    // CUT checked for 1, COPY for 0, neither for -1.
    void showClipboard(int mode);
    void refreshFreeSpace(const QString &path);
    QString currentTreePath() const;
    void clearTotals();
    void showTotals(const QString &folder);
    void showField(int index);
    // Reads an image and sends its pixels to the view; false when it cannot be shown.
    bool sendImage(const std::string &path, int *width = nullptr, int *height = nullptr);
    void sendDamagedImagePlaceholder();
    void setupTable();
    void fillTable();
    void insertTableRow(int row, const std::vector<std::string> &fields);
    bool exportResultsLog(const QString &mountPoint, QString *error);

    bool m_SecurityMode = false;
    int m_ShownClipboard = -1;      // what CUT and COPY show, as for showClipboard()
    std::vector<std::string> m_TagFiles;
    int m_FieldCount = 0;
    std::vector<int> m_CellCounts;
    QString m_Folder;
    Ui_ReviewFrame *ui;
};
