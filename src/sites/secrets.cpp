#include "sites/secrets.h"

#include <libsecret/secret.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include <unistd.h>

namespace inkpost {
namespace {

const SecretSchema* schema() {
  static const SecretSchema s = {
      "org.inkpost.client.Password",
      SECRET_SCHEMA_NONE,
      {{"reference", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
      0,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr};
  return &s;
}

bool serviceWanted() {
  const char* e = std::getenv("INKPOST_SECRET_SERVICE");
  return !(e && std::strcmp(e, "off") == 0);
}

// Without a session bus libsecret would try to start one; only ask when
// the desktop session has one.
bool busPresent() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime) return false;
  const std::string socket = std::string(runtime) + "/bus";
  return ::access(socket.c_str(), F_OK) == 0;
}

std::string newReference() {
  std::random_device random;
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < 32; ++i) out += hex[random() & 15];
  return out;
}

std::string referenceOf(const std::string& columnValue) {
  return columnValue.substr(std::strlen(kSecretReferencePrefix));
}

}  // namespace

bool isSecretReference(const std::string& columnValue) { return columnValue.rfind(kSecretReferencePrefix, 0) == 0; }

std::optional<std::string> storeSecret(const std::string& label, const std::string& secret) {
  if (!serviceWanted() || !busPresent()) return std::nullopt;
  const std::string reference = newReference();
  SecretValue* value = secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "application/octet-stream");
  GError* error = nullptr;
  gboolean ok = secret_password_store_binary_sync(schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), value, nullptr,
                                                  &error, "reference", reference.c_str(), nullptr);
  secret_value_unref(value);
  if (error) g_error_free(error);
  if (!ok) return std::nullopt;
  return kSecretReferencePrefix + reference;
}

std::optional<std::string> lookupSecret(const std::string& columnValue) {
  if (!isSecretReference(columnValue) || !serviceWanted() || !busPresent()) return std::nullopt;
  const std::string reference = referenceOf(columnValue);
  GError* error = nullptr;
  SecretValue* value =
      secret_password_lookup_binary_sync(schema(), nullptr, &error, "reference", reference.c_str(), nullptr);
  if (error) g_error_free(error);
  if (!value) return std::nullopt;
  gsize length = 0;
  const gchar* bytes = secret_value_get(value, &length);
  std::string out(bytes ? bytes : "", bytes ? length : 0);
  secret_value_unref(value);
  return out;
}

void clearSecret(const std::string& columnValue) {
  if (!isSecretReference(columnValue) || !serviceWanted() || !busPresent()) return;
  const std::string reference = referenceOf(columnValue);
  GError* error = nullptr;
  secret_password_clear_sync(schema(), nullptr, &error, "reference", reference.c_str(), nullptr);
  if (error) g_error_free(error);
}

}  // namespace inkpost
