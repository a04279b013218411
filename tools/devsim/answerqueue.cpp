#include "answerqueue.h"

bool AnswerQueue::isWaiting(const Probe &probe, int device) const
{
    return m_waiting.count(keyOf(probe, device)) > 0;
}

void AnswerQueue::add(const Probe &probe, int device, qint64 dueMs, const Answer &answer, int copies)
{
    const Key key = keyOf(probe, device);
    m_waiting[key] += copies;
    for (int copy = 0; copy < copies; ++copy) {
        m_queue.emplace(dueMs, Entry {answer, key});
    }
}

void AnswerQueue::removeNext()
{
    const auto first = m_queue.begin();
    const auto waiting = m_waiting.find(first->second.key);
    if (waiting != m_waiting.end() && --waiting->second == 0) {
        m_waiting.erase(waiting);
    }
    m_queue.erase(first);
}
