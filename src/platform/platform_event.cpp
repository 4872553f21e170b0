// The time-stamped input event ring shared by every back end: 256 entries, oldest first, new
// events dropped while it is full. The window thread and the main thread both use it.
#include "platform/platform_input.h"

namespace {

int time_later(platform_time a, platform_time b) {
    return a.sec > b.sec || (a.sec == b.sec && a.usec > b.usec);
}

} // namespace

void platform_event_queue_clear(platform_event_queue *q) {
    std::lock_guard<std::mutex> hold(q->lock);
    q->head = 0;
    q->count = 0;
}

int platform_event_queue_push(platform_event_queue *q, int code, int pressed, platform_time t) {
    std::lock_guard<std::mutex> hold(q->lock);
    if (q->count >= PLATFORM_EVENT_QUEUE_SIZE) return 0;
    platform_event &e = q->ring[(q->head + q->count) % PLATFORM_EVENT_QUEUE_SIZE];
    e.code = code & 0x7fffffff;
    e.pressed = pressed ? 1 : 0;
    e.time = t;
    q->count++;
    return 1;
}

int platform_event_queue_pop(platform_event_queue *q, const platform_time *limit,
                             platform_event *ev) {
    std::lock_guard<std::mutex> hold(q->lock);
    if (q->count == 0) return 0;
    const platform_event &e = q->ring[q->head];
    if (limit && time_later(e.time, *limit)) return 0;
    if (ev) *ev = e;
    q->head = (q->head + 1) % PLATFORM_EVENT_QUEUE_SIZE;
    q->count--;
    return 1;
}

double platform_seconds(platform_time t) {
    return t.sec + t.usec * 1e-6;
}

int platform_next_event(platform_window *w, platform_event *ev) {
    platform_input *in = platform_window_input(w);
    if (!in) return 0;
    platform_backend_pump(w);
    if (platform_event_queue_pop(&in->queue, nullptr, ev)) return 1;
    platform_input_poll(in);
    return platform_event_queue_pop(&in->queue, nullptr, ev);
}

int platform_next_event_until(platform_window *w, platform_time limit, platform_event *ev) {
    platform_input *in = platform_window_input(w);
    if (!in) return 0;
    platform_backend_pump(w);
    if (platform_event_queue_pop(&in->queue, &limit, ev)) return 1;
    platform_input_poll(in);
    return platform_event_queue_pop(&in->queue, &limit, ev);
}

int platform_queue_button(platform_window *w, int code, int pressed) {
    platform_input *in = platform_window_input(w);
    if (!in) return 0;
    return platform_event_queue_push(&in->queue, code, pressed, platform_clock());
}
