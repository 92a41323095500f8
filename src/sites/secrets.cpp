#include "sites/secrets.h"

#include <libsecret/secret.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include <unistd.h>

namespace inkpost {
namespace {

using Clock = std::chrono::steady_clock;

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

// ---- Bounded calls --------------------------------------------------------

std::mutex gMutex;
bool gCallRunning = false;                  // a call's thread has not returned yet
Clock::time_point gQuietUntil{};            // after a time-out: fail at once until then
std::map<std::string, std::string> gKnown;  // reference -> secret read or stored this run

struct Call {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  GCancellable* cancel = g_cancellable_new();
  ~Call() { g_object_unref(cancel); }
};

// Runs `work` on a thread of its own and waits at most kKeyringCallMs.
// False when the service counts as not answering (now or from before).
bool bounded(const std::function<void(GCancellable*)>& work) {
  {
    std::lock_guard<std::mutex> lock(gMutex);
    if (gCallRunning || Clock::now() < gQuietUntil) return false;
    gCallRunning = true;
  }
  auto call = std::make_shared<Call>();
  std::thread([call, work] {
    work(call->cancel);
    {
      std::lock_guard<std::mutex> lock(gMutex);
      gCallRunning = false;
    }
    std::lock_guard<std::mutex> lock(call->m);
    call->done = true;
    call->cv.notify_all();
  }).detach();
  std::unique_lock<std::mutex> lock(call->m);
  if (call->cv.wait_for(lock, std::chrono::milliseconds(kKeyringCallMs), [&] { return call->done; })) return true;
  g_cancellable_cancel(call->cancel);
  std::lock_guard<std::mutex> quiet(gMutex);
  gQuietUntil = Clock::now() + std::chrono::milliseconds(kKeyringQuietMs);
  return false;
}

// The state, asked on the calling thread of `bounded`.
Keyring askState(GCancellable* cancel) {
  GError* error = nullptr;
  SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, cancel, &error);
  if (error) g_error_free(error);
  if (!service) return Keyring::Missing;
  error = nullptr;
  SecretCollection* collection =
      secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, cancel, &error);
  const bool cancelled = error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
  if (error) g_error_free(error);
  g_object_unref(service);
  if (cancelled) return Keyring::NotAnswering;
  if (!collection) return Keyring::Missing;
  const bool locked = secret_collection_get_locked(collection);
  g_object_unref(collection);
  return locked ? Keyring::Locked : Keyring::Ready;
}

Keyring unusable() {
  if (!serviceWanted() || !busPresent()) return Keyring::Off;
  return Keyring::Ready;
}

}  // namespace

bool isSecretReference(const std::string& columnValue) { return columnValue.rfind(kSecretReferencePrefix, 0) == 0; }

Keyring keyringState() {
  if (unusable() == Keyring::Off) return Keyring::Off;
  auto state = std::make_shared<Keyring>(Keyring::NotAnswering);
  if (!bounded([state](GCancellable* cancel) {
        const Keyring s = askState(cancel);
        std::lock_guard<std::mutex> lock(gMutex);
        *state = s;
      }))
    return Keyring::NotAnswering;
  std::lock_guard<std::mutex> lock(gMutex);
  return *state;
}

std::optional<std::string> storeSecret(const std::string& label, const std::string& secret, Keyring* why) {
  Keyring ignored;
  Keyring& state = why ? *why : ignored;
  state = keyringState();
  if (state != Keyring::Ready) return std::nullopt;
  const std::string reference = newReference();
  auto ok = std::make_shared<bool>(false);
  // The copies live as long as the call's thread, which may outlive this wait.
  const bool answered = bounded([ok, label, secret, reference](GCancellable* cancel) {
    SecretValue* value =
        secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "application/octet-stream");
    GError* error = nullptr;
    const bool stored = secret_password_store_binary_sync(schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), value,
                                                          cancel, &error, "reference", reference.c_str(), nullptr);
    secret_value_unref(value);
    if (error) g_error_free(error);
    std::lock_guard<std::mutex> lock(gMutex);
    *ok = stored;
  });
  std::lock_guard<std::mutex> lock(gMutex);
  if (!answered) {
    state = Keyring::NotAnswering;
    return std::nullopt;
  }
  if (!*ok) {
    state = Keyring::Missing;
    return std::nullopt;
  }
  gKnown[reference] = secret;
  return kSecretReferencePrefix + reference;
}

std::optional<std::string> lookupSecret(const std::string& columnValue, Keyring* why) {
  Keyring ignored;
  Keyring& state = why ? *why : ignored;
  state = Keyring::Ready;
  if (!isSecretReference(columnValue)) return std::nullopt;
  const std::string reference = referenceOf(columnValue);
  {
    std::lock_guard<std::mutex> lock(gMutex);
    if (auto known = gKnown.find(reference); known != gKnown.end()) return known->second;
  }
  // A locked keyring would ask the person to unlock it, in a prompt nobody
  // expects at this moment: the look-up is not made.
  state = keyringState();
  if (state != Keyring::Ready) return std::nullopt;
  auto out = std::make_shared<std::optional<std::string>>();
  const bool answered = bounded([out, reference](GCancellable* cancel) {
    GError* error = nullptr;
    SecretValue* value =
        secret_password_lookup_binary_sync(schema(), cancel, &error, "reference", reference.c_str(), nullptr);
    if (error) g_error_free(error);
    if (!value) return;
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    std::string secret(bytes ? bytes : "", bytes ? length : 0);
    secret_value_unref(value);
    std::lock_guard<std::mutex> lock(gMutex);
    *out = std::move(secret);
  });
  std::lock_guard<std::mutex> lock(gMutex);
  if (!answered) {
    state = Keyring::NotAnswering;
    return std::nullopt;
  }
  if (*out) gKnown[reference] = **out;
  return *out;
}

void clearSecret(const std::string& columnValue) {
  if (!isSecretReference(columnValue) || unusable() == Keyring::Off) return;
  const std::string reference = referenceOf(columnValue);
  {
    std::lock_guard<std::mutex> lock(gMutex);
    gKnown.erase(reference);
  }
  bounded([reference](GCancellable* cancel) {
    GError* error = nullptr;
    secret_password_clear_sync(schema(), cancel, &error, "reference", reference.c_str(), nullptr);
    if (error) g_error_free(error);
  });
}

}  // namespace inkpost
