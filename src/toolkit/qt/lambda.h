#pragma once

#include <QObject>

#include <functional>
#include <utility>

namespace ktk::qt {

// Receiver object that runs a callable when one of its slots fires, so a
// lambda can be wired to an old-style SIGNAL() string.
class lambda : public QObject {
    Q_OBJECT

public:
    lambda() = default;
    explicit lambda(std::function<void()> f)
        : m_f(std::move(f))
    {
    }

    void set(std::function<void()> f) { m_f = std::move(f); }
    const std::function<void()>& function() const { return m_f; }

public slots:
    void call()
    {
        if (m_f)
            m_f();
    }

private:
    std::function<void()> m_f;
};

// QObject::connect(sender, signal, l, SLOT(call())).
QMetaObject::Connection connect(const QObject* sender, const char* signal, const lambda* l);

} // namespace ktk::qt
