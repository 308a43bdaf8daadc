#pragma once

#include "ORBELIN_Vn.h"

#include <QSemaphore>
#include <QThread>

#include <atomic>

// The places of the field analyses that may run at once, and the most that did.
struct analysis_places_t
{
    explicit analysis_places_t(int places) : free(places) {}
    QSemaphore free;
    std::atomic<int> running{0};
    std::atomic<int> peak{0};
};

// The analysis of one counting field: runs the field's cell counter on the image stored
// in it, reports, then gives back its place among the analyses that may run at once.
class CellCountingThread : public QThread
{
    Q_OBJECT

public:
    // index: the field's place in the count. places: one of them was taken for this
    // analysis and is given back when it ends (may be null).
    CellCountingThread(int index, ORBELIN_Vn *counter, const analysis_param_t &param,
                       analysis_places_t *places, QObject *parent = nullptr);
    ~CellCountingThread() override;

Q_SIGNALS:
    // ok is false when the counter held no image it could analyse.
    void signalCellCountingCompleted(int index, bool ok);

protected:
    void run() override;

private:
    const int m_Index;
    ORBELIN_Vn *const m_Counter;
    const analysis_param_t m_Param;
    analysis_places_t *const m_Places;
};
