#ifndef TARN_SIGNAL_H
#define TARN_SIGNAL_H

// A multicast callback: callables connected in order, all called on emit.
// A signal owns copies of its slots; there is no disconnect. Used by the
// application shell for every event, and by anything that wants to announce one.

#include <deque>
#include <functional>

namespace Tarn {

namespace Detail {

// Slots live in a deque so that a slot connecting another slot while the
// signal is being emitted never moves the callable that is running: deque
// keeps references stable across push_back. A slot connected during an
// emission is called later in that same emission, since the loop re-reads
// the end of the list after every call (SignalTest.ConnectDuringEmit).
template <typename Slot> class SlotList {
public:
    void connect(const Slot& slot) { m_slots.push_back(slot); }
    std::size_t slotCount() const { return m_slots.size(); }

protected:
    template <typename... CallArgs> void f_callAll(CallArgs&&... args) {
        for (std::size_t i = 0; i < m_slots.size(); ++i)
            m_slots[i](args...);
    }

private:
    std::deque<Slot> m_slots;
};

}  // namespace Detail

template <typename... Args> class Signal : public Detail::SlotList<std::function<void(Args...)>> {
public:
    using Slot = std::function<void(Args...)>;

    // Calls every slot, first connected first, each with the same arguments.
    // Copies no callable and allocates nothing.
    void emit(Args... args) { this->f_callAll(args...); }
    void operator()(Args... args) { emit(args...); }
};

// Signal<void> is the spelling of a signal whose slots take nothing.
template <> class Signal<void> : public Detail::SlotList<std::function<void()>> {
public:
    using Slot = std::function<void()>;

    void emit() { f_callAll(); }
    void operator()() { emit(); }
};

}  // namespace Tarn

#endif
