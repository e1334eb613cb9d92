// SPDX-License-Identifier: GPL-3.0-or-later
// libmosquitto, loaded the first time a broker is used. It brings the TLS
// library with it (1.5 MiB of a process's memory): a service that has no
// broker set maps neither. Each function of libmosquitto that the program
// calls stands here and hands on to the library's own; while the library
// cannot be loaded, each fails as libmosquitto fails, and that is said once.

#include "MqttLogging.h"

#include <mosquitto.h>

#include <dlfcn.h>

namespace {
void *library()
{
    static void *const handle = [] {
        void *loaded = dlopen("libmosquitto.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!loaded)
            qCWarning(lcMqtt, "cannot load libmosquitto (%s): no broker can be used", dlerror());
        return loaded;
    }();
    return handle;
}

template <typename Function> Function resolve(const char *name)
{
    void *const handle = library();
    return handle ? reinterpret_cast<Function>(dlsym(handle, name)) : nullptr;
}
} // namespace

// The function `name` with the parameters `params`, called with `args`;
// `failed` while libmosquitto cannot be loaded.
#define KAVELO_MOSQUITTO(result, name, params, args, failed)                                       \
    result name params                                                                             \
    {                                                                                              \
        static const auto function = resolve<result(*) params>(#name);                             \
        if (!function)                                                                             \
            return failed;                                                                         \
        return function args;                                                                      \
    }

using Mosq = struct mosquitto;
using ConnectCallback = void (*)(Mosq *, void *, int);
using MessageCallback = void (*)(Mosq *, void *, const struct mosquitto_message *);
using LogCallback = void (*)(Mosq *, void *, int, const char *);
using PasswordCallback = int (*)(char *, int, int, void *);

extern "C" {
KAVELO_MOSQUITTO(int, mosquitto_lib_init, (void), (), MOSQ_ERR_NOT_SUPPORTED)
KAVELO_MOSQUITTO(Mosq *, mosquitto_new, (const char *id, bool clean, void *obj), (id, clean, obj),
                 nullptr)
KAVELO_MOSQUITTO(void, mosquitto_destroy, (Mosq * m), (m), void())
KAVELO_MOSQUITTO(int, mosquitto_username_pw_set, (Mosq * m, const char *user, const char *pw),
                 (m, user, pw), MOSQ_ERR_NOT_SUPPORTED)
KAVELO_MOSQUITTO(int, mosquitto_will_set,
                 (Mosq * m, const char *topic, int length, const void *payload, int qos,
                  bool retain),
                 (m, topic, length, payload, qos, retain), MOSQ_ERR_NOT_SUPPORTED)
KAVELO_MOSQUITTO(int, mosquitto_tls_set,
                 (Mosq * m, const char *cafile, const char *capath, const char *certfile,
                  const char *keyfile, PasswordCallback callback),
                 (m, cafile, capath, certfile, keyfile, callback), MOSQ_ERR_NOT_SUPPORTED)
KAVELO_MOSQUITTO(int, mosquitto_tls_opts_set,
                 (Mosq * m, int requirements, const char *version, const char *ciphers),
                 (m, requirements, version, ciphers), MOSQ_ERR_NOT_SUPPORTED)
KAVELO_MOSQUITTO(int, mosquitto_tls_insecure_set, (Mosq * m, bool value), (m, value),
                 MOSQ_ERR_NOT_SUPPORTED)
KAVELO_MOSQUITTO(int, mosquitto_int_option, (Mosq * m, enum mosq_opt_t option, int value),
                 (m, option, value), MOSQ_ERR_NOT_SUPPORTED)
KAVELO_MOSQUITTO(void, mosquitto_connect_callback_set, (Mosq * m, ConnectCallback callback),
                 (m, callback), void())
KAVELO_MOSQUITTO(void, mosquitto_message_callback_set, (Mosq * m, MessageCallback callback),
                 (m, callback), void())
KAVELO_MOSQUITTO(void, mosquitto_log_callback_set, (Mosq * m, LogCallback callback), (m, callback),
                 void())
KAVELO_MOSQUITTO(int, mosquitto_connect, (Mosq * m, const char *host, int port, int keepalive),
                 (m, host, port, keepalive), MOSQ_ERR_NOT_SUPPORTED)
KAVELO_MOSQUITTO(int, mosquitto_connect_async,
                 (Mosq * m, const char *host, int port, int keepalive), (m, host, port, keepalive),
                 MOSQ_ERR_NOT_SUPPORTED)
KAVELO_MOSQUITTO(int, mosquitto_disconnect, (Mosq * m), (m), MOSQ_ERR_NOT_SUPPORTED)
KAVELO_MOSQUITTO(int, mosquitto_socket, (Mosq * m), (m), -1)
KAVELO_MOSQUITTO(bool, mosquitto_want_write, (Mosq * m), (m), false)
KAVELO_MOSQUITTO(int, mosquitto_loop, (Mosq * m, int timeout, int packets), (m, timeout, packets),
                 MOSQ_ERR_NOT_SUPPORTED)
KAVELO_MOSQUITTO(int, mosquitto_loop_read, (Mosq * m, int packets), (m, packets),
                 MOSQ_ERR_NOT_SUPPORTED)
KAVELO_MOSQUITTO(int, mosquitto_loop_write, (Mosq * m, int packets), (m, packets),
                 MOSQ_ERR_NOT_SUPPORTED)
KAVELO_MOSQUITTO(int, mosquitto_loop_misc, (Mosq * m), (m), MOSQ_ERR_NOT_SUPPORTED)
KAVELO_MOSQUITTO(int, mosquitto_publish,
                 (Mosq * m, int *mid, const char *topic, int length, const void *payload, int qos,
                  bool retain),
                 (m, mid, topic, length, payload, qos, retain), MOSQ_ERR_NOT_SUPPORTED)
KAVELO_MOSQUITTO(int, mosquitto_subscribe, (Mosq * m, int *mid, const char *topic, int qos),
                 (m, mid, topic, qos), MOSQ_ERR_NOT_SUPPORTED)
KAVELO_MOSQUITTO(const char *, mosquitto_strerror, (int error), (error),
                 "libmosquitto cannot be loaded")
KAVELO_MOSQUITTO(const char *, mosquitto_connack_string, (int code), (code),
                 "libmosquitto cannot be loaded")
}
