#include "LibSecret.h"

#include "TrackingLog.h"

#include <dlfcn.h>

namespace {

template <typename Function>
bool resolve(void *library, const char *name, Function &function)
{
    function = reinterpret_cast<Function>(dlsym(library, name));
    if (!function)
        qCWarning(lcTracking, "keychain: libsecret lacks %s", name);
    return function != nullptr;
}

const LibSecret *open()
{
    // Its dependencies (GIO, GObject) come with it, and dlsym on its handle
    // finds their functions too.
    void *library = dlopen("libsecret-1.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        qCWarning(lcTracking, "keychain: cannot open libsecret: %s", dlerror());
        return nullptr;
    }
    static LibSecret functions;
    LibSecret &f = functions;
    const bool all = resolve(library, "g_cancellable_new", f.cancellableNew)
        && resolve(library, "g_cancellable_cancel", f.cancellableCancel)
        && resolve(library, "g_object_unref", f.objectUnref)
        && resolve(library, "g_dbus_error_quark", f.dbusErrorQuark)
        && resolve(library, "g_io_error_quark", f.ioErrorQuark)
        && resolve(library, "g_dbus_error_get_remote_error", f.dbusErrorGetRemoteError)
        && resolve(library, "secret_password_store_sync", f.passwordStoreSync)
        && resolve(library, "secret_password_lookup_sync", f.passwordLookupSync)
        && resolve(library, "secret_password_clear_sync", f.passwordClearSync)
        && resolve(library, "secret_password_free", f.passwordFree)
        && resolve(library, "secret_service_get_sync", f.serviceGetSync)
        && resolve(library, "secret_collection_for_alias_sync", f.collectionForAliasSync);
    return all ? &functions : nullptr;
}

} // namespace

const LibSecret *LibSecret::get()
{
    static const LibSecret *const functions = open();
    return functions;
}
