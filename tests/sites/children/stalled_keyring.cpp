// A secret service that holds its name on the session bus and never
// answers: every method call sent to it is dropped unanswered, as when the
// keyring daemon hangs. Prints "ready" once it owns the name, then waits
// until it is killed.
#include <gio/gio.h>

#include <cstdio>

#include <unistd.h>

namespace {

GDBusMessage* dropCalls(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer) {
  if (incoming && g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_METHOD_CALL) {
    g_object_unref(message);
    return nullptr;  // no reply, ever
  }
  return message;
}

}  // namespace

int main() {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!bus) {
    std::fprintf(stderr, "stalled_keyring: no session bus: %s\n", error ? error->message : "?");
    return 1;
  }
  g_dbus_connection_add_filter(bus, dropCalls, nullptr, nullptr);
  GVariant* reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
      g_variant_new("(su)", "org.freedesktop.secrets", 4u /* DBUS_NAME_FLAG_DO_NOT_QUEUE */), G_VARIANT_TYPE("(u)"),
      G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
  guint32 result = 0;
  if (reply) g_variant_get(reply, "(u)", &result);
  if (result != 1 /* DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER */) {
    std::fprintf(stderr, "stalled_keyring: the name is not ours (%u)\n", result);
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) pause();
}
