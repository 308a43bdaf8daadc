#include "CellCountingThread.h"

CellCountingThread::CellCountingThread(int index, ORBELIN_Vn *counter,
                                       const analysis_param_t &param, analysis_places_t *places,
                                       QObject *parent)
    : QThread(parent)
    , m_Index(index)
    , m_Counter(counter)
    , m_Param(param)
    , m_Places(places)
{
}

CellCountingThread::~CellCountingThread()
{
    wait();
}

void CellCountingThread::run()
{
    if (m_Places) {
        const int now = ++m_Places->running;
        int peak = m_Places->peak;
        while (now > peak && !m_Places->peak.compare_exchange_weak(peak, now)) {
        }
    }
    const bool ok = m_Counter && m_Counter->findObject(m_Param);
    if (m_Places)
        --m_Places->running;
    emit signalCellCountingCompleted(m_Index, ok);
    // Given back after the report: whoever holds every place knows that no analysis
    // still reports to it.
    if (m_Places)
        m_Places->free.release();
}
