#pragma once

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

#include "device/deviceclient.h"
#include "outcome/outcome.h"

namespace orvel {

// Runs a DeviceClient on the Qt event loop. Whoever owns the port sends what it is given
// and feeds in what it receives; the session knows nothing of the port itself.
class DeviceSession : public QObject {
    Q_OBJECT
public:
    enum class ValueKind { Read, Verified, Mismatch };
    Q_ENUM(ValueKind)

    using Send = std::function<void(char)>;

    explicit DeviceSession(Send send, QObject *parent = nullptr);

    enum class StartFailure {
        Running,  // a job is under way: nothing starts
    };
    Done<StartFailure> start(Job job, ClientOptions options = {});
    void stop();
    // Received bytes, in order, as many as have arrived.
    void feed(QByteArrayView bytes);
    // One received byte; moreWaiting: further bytes already wait behind it.
    void receive(quint8 byte, bool moreWaiting);
    bool running() const { return m_client.has_value(); }

signals:
    void progress(int done, int total, int object);
    void valueArrived(int object, quint8 value, orvel::DeviceSession::ValueKind kind);
    // The value byte of a write is to go out: emitted before it does, so that whatever a
    // slot records of it is there before the device can take it; before the read-back.
    void written(int object, quint8 value);
    void objectFailed(const orvel::ObjectResult &result);
    void deviceNotAnswering();
    void finished(const orvel::JobSummary &summary);

private:
    Clock now() const;
    void answer(quint8 reply);
    void onTimer();
    void dispatch();
    void emitEvent(const ClientEvent &event, Job::Kind kind);
    void rearm();

    Send m_send;
    QElapsedTimer m_clock;
    QTimer m_timer;
    std::optional<DeviceClient> m_client;
    bool m_dispatching = false;
};

}  // namespace orvel
