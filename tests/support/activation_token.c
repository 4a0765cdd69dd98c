/* Asks the Wayland compositor for an activation token, as a launcher does
 * before starting a program, and prints it. Exit status 1 when the
 * compositor offers no xdg-activation or grants nothing within 5 s. */
#include "xdg-activation-v1-client-protocol.h"

#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <wayland-client.h>

static struct xdg_activation_v1 *activation;
static char token[512];

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
{
    (void)data;
    (void)version;
    if (strcmp(interface, xdg_activation_v1_interface.name) == 0)
        activation = wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1);
}

static void global_remove(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener registry_listener = {global, global_remove};

static void done(void *data, struct xdg_activation_token_v1 *object, const char *granted)
{
    (void)data;
    (void)object;
    snprintf(token, sizeof token, "%s", granted);
}

static const struct xdg_activation_token_v1_listener token_listener = {done};

int main(int argc, char **argv)
{
    struct wl_display *display = wl_display_connect(NULL);
    if (!display)
        return 1;
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, NULL);
    wl_display_roundtrip(display);
    struct xdg_activation_token_v1 *request = NULL;
    if (activation) {
        request = xdg_activation_v1_get_activation_token(activation);
        xdg_activation_token_v1_add_listener(request, &token_listener, NULL);
        if (argc > 1)
            xdg_activation_token_v1_set_app_id(request, argv[1]);
        xdg_activation_token_v1_commit(request);
        struct pollfd readable = {wl_display_get_fd(display), POLLIN, 0};
        for (int waited = 0; !token[0] && waited < 50; ++waited) {
            wl_display_flush(display);
            if (poll(&readable, 1, 100) > 0 && wl_display_dispatch(display) < 0)
                break;
        }
    }
    /* Every proxy goes before the exit: under the leak checker a leak turns
     * the exit status into a failure and drops the unflushed token. */
    if (request)
        xdg_activation_token_v1_destroy(request);
    if (activation)
        xdg_activation_v1_destroy(activation);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    if (!token[0])
        return 1;
    puts(token);
    return fflush(stdout) == 0 ? 0 : 1;
}
