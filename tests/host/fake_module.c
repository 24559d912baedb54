/* A small plug-in library for the loader's tests, built several times with
 * different defects (see CMakeLists.txt):
 *   FAKE_NO_DESCRIPTOR   exports its descriptor under a misspelt name
 *   FAKE_SYNC            the descriptor's sync word
 *   FAKE_VERSION         the descriptor's version
 *   FAKE_SERVER_NAME     the name of its MeshDataEdit server
 *   FAKE_STARTUP_FAILS   startup gives a null token
 * Startup and shutdown append a line to the file named by the environment
 * variable SOWFIELD_PROBE_LOG, when set, so a test can count them. */
#include <stdio.h>
#include <stdlib.h>

#include "sowfield_host.h"

#ifndef FAKE_SYNC
#define FAKE_SYNC SF_MODULE_SYNC
#endif
#ifndef FAKE_VERSION
#define FAKE_VERSION SF_MODULE_VERSION
#endif
#ifndef FAKE_SERVER_NAME
#define FAKE_SERVER_NAME "Sowfield"
#endif

static void note(const char *what, void *token) {
    const char *path = getenv("SOWFIELD_PROBE_LOG");
    FILE *log = path != NULL ? fopen(path, "a") : NULL;
    if (log == NULL) return;
    fprintf(log, "%s %p\n", what, token);
    fclose(log);
}

static void *fake_startup(void) {
#ifdef FAKE_STARTUP_FAILS
    note("startup", NULL);
    return NULL;
#else
    note("startup", (void *)0x5EED);
    return (void *)0x5EED;
#endif
}

static void fake_shutdown(void *token) { note("shutdown", token); }

static int fake_activate(int32_t version, sf_get_global_fn get_global, sf_begin_edit_fn begin_edit, void *data) {
    (void)version;
    (void)get_global;
    (void)begin_edit;
    (void)data;
    return SF_AFUNC_OK;
}

static const sf_server_tag fake_tags[] = {{"Fake", SF_TAG_USER_NAME | SF_LANG_US_ENGLISH}, {NULL, 0}};

static const sf_server_record fake_servers[] = {
    {"OtherClass", "Sowfield", fake_activate, fake_tags},
    {SF_MESH_EDIT_CLASS, FAKE_SERVER_NAME, fake_activate, fake_tags},
    {NULL, NULL, NULL, NULL},
};

#ifdef FAKE_NO_DESCRIPTOR
#define FAKE_DESCRIPTOR_NAME mod_descrip
#else
#define FAKE_DESCRIPTOR_NAME _mod_descrip
#endif

const sf_module_descriptor FAKE_DESCRIPTOR_NAME = {
    FAKE_SYNC, FAKE_VERSION, SF_MACHINE_CODE, fake_startup, fake_shutdown, fake_servers,
};
