// Takes the Wayland clipboard with a text and a password manager's mark,
// as a password manager does (wl-copy offers one format only), and keeps it
// until another program takes it.
//   pellandor_wl_copy_marked TEXT MARK
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const kTextTypes[] = {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING"};
constexpr const char* kMarkType = "x-kde-passwordManagerHint";

struct State {
    zwlr_data_control_manager_v1* manager = nullptr;
    wl_seat* seat = nullptr;
    std::string text, mark;
    bool cancelled = false;
};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* state = static_cast<State*>(data);
    if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0)
        state->manager = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
    else if (std::strcmp(interface, wl_seat_interface.name) == 0 && state->seat == nullptr)
        state->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {
}
const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

void onSend(void* data, zwlr_data_control_source_v1*, const char* type, int32_t fd) {
    auto* state = static_cast<State*>(data);
    const std::string& bytes = std::strcmp(type, kMarkType) == 0 ? state->mark : state->text;
    if (write(fd, bytes.data(), bytes.size()) < 0) std::perror("write");
    close(fd);
}
void onCancelled(void* data, zwlr_data_control_source_v1*) {
    static_cast<State*>(data)->cancelled = true;
}
const zwlr_data_control_source_v1_listener kSourceListener = {onSend, onCancelled};

// Device events are not needed; the listener must still be there.
void onDataOffer(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    zwlr_data_control_offer_v1_destroy(offer);
}
void onSelection(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {
}
void onFinished(void*, zwlr_data_control_device_v1*) {
}
const zwlr_data_control_device_v1_listener kDeviceListener = {onDataOffer, onSelection, onFinished};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s TEXT MARK\n", argv[0]);
        return 2;
    }
    State state;
    state.text = argv[1];
    state.mark = argv[2];
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &state);
    wl_display_roundtrip(display);
    if (state.manager == nullptr || state.seat == nullptr) {
        std::fprintf(stderr, "no data-control or no seat\n");
        return 1;
    }
    zwlr_data_control_device_v1* device = zwlr_data_control_manager_v1_get_data_device(state.manager, state.seat);
    zwlr_data_control_device_v1_add_listener(device, &kDeviceListener, &state);
    zwlr_data_control_source_v1* source = zwlr_data_control_manager_v1_create_data_source(state.manager);
    zwlr_data_control_source_v1_add_listener(source, &kSourceListener, &state);
    for (const char* type : kTextTypes) zwlr_data_control_source_v1_offer(source, type);
    zwlr_data_control_source_v1_offer(source, kMarkType);
    zwlr_data_control_device_v1_set_selection(device, source);
    while (!state.cancelled && wl_display_dispatch(display) >= 0) {
    }
    zwlr_data_control_source_v1_destroy(source);
    wl_display_disconnect(display);
    return 0;
}
