// The hands of every seat but the person's: clicks and keys through the input queue.
#include "platform/input.h"
#include "seats/computer.h"

namespace seats {

namespace {

class QueueHands : public Hands {
public:
    void click(float x, float y) override {
        input::post(input::Source::Seat, {input::Event::move(x, y), input::Event::press(), input::Event::release()});
    }
    void tap(uint8_t key) override {
        input::post(input::Source::Seat, {input::Event::key(key, true), input::Event::key(key, false)});
    }
    void drop() override { input::cancel(input::Source::Seat); }
};

} // namespace

Hands& input_hands() {
    static QueueHands hands;
    return hands;
}

} // namespace seats
