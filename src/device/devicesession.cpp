#include "device/devicesession.h"

#include <algorithm>

namespace orvel {

DeviceSession::DeviceSession(Send send, QObject *parent)
    : QObject(parent), m_send(std::move(send)) {
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &DeviceSession::onTimer);
}

Clock DeviceSession::now() const {
    return Clock(m_clock.nsecsElapsed() / 1000);
}

Done<DeviceSession::StartFailure> DeviceSession::start(Job job, ClientOptions options) {
    if (m_client) return Failure<StartFailure>{StartFailure::Running, {}};
    m_client.emplace(std::move(job), options, now());
    dispatch();
    return {};
}

void DeviceSession::stop() {
    if (!m_client) return;
    m_client->stop(now());
    dispatch();
}

void DeviceSession::feed(QByteArrayView bytes) {
    const Clock at = now();
    for (qsizetype i = 0; i < bytes.size() && m_client; ++i) {
        const bool moreWaiting = i + 1 < bytes.size();
        if (const auto reply = m_client->receive(quint8(bytes[i]), moreWaiting, at))
            answer(*reply);
    }
    dispatch();
}

void DeviceSession::receive(quint8 byte, bool moreWaiting) {
    if (!m_client) return;
    if (const auto reply = m_client->receive(byte, moreWaiting, now())) answer(*reply);
    dispatch();
}

// What the client made of the byte answered is said first: a write, before its value goes.
void DeviceSession::answer(quint8 reply) {
    dispatch();
    m_send(char(reply));
}

void DeviceSession::onTimer() {
    if (!m_client) return;
    m_client->tick(now());
    dispatch();
}

// Slots may stop the job or start the next one; whatever that adds is emitted after what
// came before it, never in between.
void DeviceSession::dispatch() {
    if (m_dispatching) return;
    m_dispatching = true;
    while (m_client) {
        const Job::Kind kind = m_client->job().kind();
        const std::vector<ClientEvent> events = m_client->takeEvents();
        if (events.empty()) break;
        for (const ClientEvent &event : events) emitEvent(event, kind);
    }
    m_dispatching = false;
    rearm();
}

void DeviceSession::emitEvent(const ClientEvent &event, Job::Kind kind) {
    switch (event.type) {
        case ClientEvent::Type::ObjectDone: {
            const ObjectResult &r = event.result;
            if (r.value) {
                const ValueKind valueKind = !r.ok                     ? ValueKind::Mismatch
                                            : kind == Job::Kind::Read ? ValueKind::Read
                                                                      : ValueKind::Verified;
                emit valueArrived(r.object, *r.value, valueKind);
            }
            if (!r.ok) emit objectFailed(r);
            emit progress(event.done, m_client ? m_client->summary().total : event.done, r.object);
            break;
        }
        case ClientEvent::Type::Written:
            emit written(event.result.object, *event.result.value);
            break;
        case ClientEvent::Type::DeviceNotAnswering:
            emit deviceNotAnswering();
            break;
        case ClientEvent::Type::Finished: {
            const JobSummary summary = m_client->summary();
            m_client.reset();
            emit finished(summary);
            break;
        }
    }
}

void DeviceSession::rearm() {
    const std::optional<Clock> deadline = m_client ? m_client->nextDeadline() : std::nullopt;
    if (!deadline) {
        m_timer.stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now());
    m_timer.start(std::max(wait, std::chrono::milliseconds(0)));
}

}  // namespace orvel
