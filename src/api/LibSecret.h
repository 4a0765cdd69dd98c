#pragma once

#include <libsecret/secret.h>

// The libsecret, GIO and GObject calls the keychain makes, opened when the
// keychain is first asked rather than linked: a launch, and the demo, which
// never asks it, load none of the libraries of that stack.
struct LibSecret {
    GCancellable *(*cancellableNew)();
    void (*cancellableCancel)(GCancellable *);
    void (*objectUnref)(gpointer);
    GQuark (*dbusErrorQuark)();
    GQuark (*ioErrorQuark)();
    gchar *(*dbusErrorGetRemoteError)(const GError *);
    gboolean (*passwordStoreSync)(const SecretSchema *, const gchar *collection, const gchar *label,
                                  const gchar *password, GCancellable *, GError **, ...);
    gchar *(*passwordLookupSync)(const SecretSchema *, GCancellable *, GError **, ...);
    gboolean (*passwordClearSync)(const SecretSchema *, GCancellable *, GError **, ...);
    void (*passwordFree)(gchar *);
    SecretService *(*serviceGetSync)(SecretServiceFlags, GCancellable *, GError **);
    SecretCollection *(*collectionForAliasSync)(SecretService *, const gchar *alias, SecretCollectionFlags,
                                                GCancellable *, GError **);

    // The functions, or null when libsecret cannot be opened (logged once).
    static const LibSecret *get();
};
