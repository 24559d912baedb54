/*
 * sowfield_host.h - the contract between a mesh-editing host and its plug-ins.
 *
 * This is the only header that both sides include. Everything that crosses
 * between the host and a plug-in library is declared here, in C, so that the
 * two sides may be built by different compilers and so that nothing but plain
 * data and function pointers ever crosses the boundary.
 *
 * Conventions that hold for every declaration below:
 *  - All functions are called on the host's thread that called `activate`.
 *    Nothing here is thread-safe and nothing may be called after the call
 *    that handed it out has returned, unless the comment says otherwise.
 *  - Text is NUL-terminated UTF-8. A `const char *` returned by the host is
 *    owned by the host and stays valid for the rest of the `activate` call.
 *  - Ids (sf_point_id, sf_polygon_id) are opaque, pointer-sized, never null for
 *    a real element, and only ever compared for equality. They are not indices.
 *  - "state" is the word a record carries in its first field; the caller passes
 *    it back unchanged as the first argument of the record's operations.
 *  - No C++ exception may cross this boundary in either direction.
 */
#ifndef SOWFIELD_HOST_H
#define SOWFIELD_HOST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Packed four-letter codes                                                 */
/* ------------------------------------------------------------------------ */

/* Four letters packed big-endian into 32 bits: the first letter is the most
 * significant byte. Used for vertex-map types and polygon types. */
#define SF_ID4(a, b, c, d) \
    ((((uint32_t)(a)) << 24) | (((uint32_t)(b)) << 16) | (((uint32_t)(c)) << 8) | ((uint32_t)(d)))

#define SF_VMAP_TXUV 0x54585556u /* "TXUV": texture coordinates, 2 floats per point */
#define SF_VMAP_WGHT 0x57474854u /* "WGHT": weight, 1 float per point */
#define SF_VMAP_MORF 0x4D4F5246u /* "MORF": displacement relative to the point, 3 floats */
#define SF_VMAP_MNVW 0x4D4E5657u /* "MNVW": subdivision weight, 1 float per point */
#define SF_VMAP_SPOT 0x53504F54u /* "SPOT": absolute position, 3 floats per point */

#define SF_POLY_FACE 0x46414345u /* "FACE": an ordinary polygon */

/* Layer sets, as taken by the edit session's counting and scanning calls. */
#define SF_LAYERS_FOREGROUND 1
#define SF_LAYERS_BACKGROUND 2

/* Count modes. */
#define SF_COUNT_ALL 0
#define SF_COUNT_SELECTED 1

/* Polygon flags word. */
#define SF_POLY_SELECTED 0x1u

/* ------------------------------------------------------------------------ */
/* Module descriptor: what the host reads first from a plug-in library      */
/* ------------------------------------------------------------------------ */

#define SF_MODULE_SYNC 0x04121994u
#define SF_MODULE_VERSION 3
#define SF_MACHINE_CODE 0x300

/* The name under which the library exports its sf_module_descriptor. */
#define SF_MODULE_SYMBOL "_mod_descrip"

/* Service names looked up with sf_get_global_fn. */
#define SF_MESSAGE_SERVICE_NAME "Info Messages 2"
#define SF_SCENE_OBJECTS_SERVICE_NAME "Scene Objects 6"
#define SF_PANEL_SERVICE_NAME "LWXPanel"
#define SF_MONITOR_SERVICE_NAME "LWM: Dynamic Monitor"

/* The only server class this contract defines. */
#define SF_MESH_EDIT_CLASS "MeshDataEdit"

/* Result codes of an activation function. */
#define SF_AFUNC_OK 0
#define SF_AFUNC_BADAPP 3 /* no edit session could be begun */

typedef struct sf_edit_session sf_edit_session;

/* Looks a global service up by name. `use_mode` is 0. Returns the service
 * record (one of the sf_*_service structs below, chosen by the name), or null
 * when the host does not offer that service. The record is owned by the host
 * and valid until `activate` returns. */
typedef const void *(*sf_get_global_fn)(const char *service_name, int use_mode);

/* Begins the edit session of this activation. Called once, with 0, 0, 1.
 * Returns the session record, owned by the host, valid until its end_edit has
 * returned; or null when no session can be begun. */
typedef sf_edit_session *(*sf_begin_edit_fn)(int reserved_a, int reserved_b, int mode);

/* Runs one command. `version` and `server_data` may be ignored. Returns
 * SF_AFUNC_OK, or SF_AFUNC_BADAPP when begin_edit gave no session. */
typedef int (*sf_activate_fn)(int32_t version, sf_get_global_fn get_global, sf_begin_edit_fn begin_edit,
                              void *server_data);

/* Called once after the library is opened, before any activation. Returns a
 * token that the host hands back to shutdown. */
typedef void *(*sf_startup_fn)(void);

/* Called once before the library is closed. */
typedef void (*sf_shutdown_fn)(void *token);

/* One (text, code) pair of a server's tag list. The list ends with a pair whose
 * text is null and whose code is 0. The low 16 bits of a code are a language
 * identifier (0x0409 for US English); the high 16 bits say what the text is. */
typedef struct sf_server_tag {
    const char *text;
    uint32_t code;
} sf_server_tag;

#define SF_TAG_USER_NAME 0x00000000u   /* the command's name as the user sees it */
#define SF_TAG_BUTTON_NAME 0x00010000u /* a short name for the command's button */
#define SF_TAG_POLYGON 0x00050000u     /* host-defined */
#define SF_LANG_US_ENGLISH 0x0409u

/* One server of a library. A library's server list ends with a record whose
 * four fields are all null. Every pointer is static data of the library. */
typedef struct sf_server_record {
    const char *host_class;  /* e.g. SF_MESH_EDIT_CLASS */
    const char *server_name; /* the name the host finds the server by */
    sf_activate_fn activate;
    const sf_server_tag *tags;
} sf_server_record;

/* The one exported symbol of a plug-in library (SF_MODULE_SYMBOL). Static data
 * of the library, valid while it stays loaded. */
typedef struct sf_module_descriptor {
    uint32_t sync;    /* SF_MODULE_SYNC */
    int32_t version;  /* SF_MODULE_VERSION */
    int32_t machine;  /* SF_MACHINE_CODE */
    sf_startup_fn startup;
    sf_shutdown_fn shutdown;
    const sf_server_record *servers;
} sf_module_descriptor;

/* ------------------------------------------------------------------------ */
/* Geometry records                                                         */
/* ------------------------------------------------------------------------ */

typedef struct sf_point_opaque *sf_point_id;
typedef struct sf_polygon_opaque *sf_polygon_id;

/* What point_info tells of one point. Owned by the host; valid until the next
 * call of point_info on the same session. */
typedef struct sf_point_record {
    sf_point_id id;
    double position[3]; /* x, y, z; y is up */
    /* The point's value in the map chosen by the last select_vmap, or null when
     * no map is selected or the point has no value there. As many floats as
     * that map's dimension. */
    const float *vmap_value;
} sf_point_record;

/* What polygon_info and a scan tell of one polygon. Owned by the host. A
 * record from polygon_info stays valid until the next polygon_info on the same
 * session (point_info calls in between do not disturb it, so a caller may walk
 * the record's points asking point_info for each); a record handed to a scan
 * visitor stays valid until that visitor returns. */
typedef struct sf_polygon_record {
    sf_polygon_id id;
    uint32_t flags;          /* bit 0: selected (SF_POLY_SELECTED) */
    int32_t point_count;
    const sf_point_id *points; /* point_count ids, in the polygon's order */
    uint32_t type;           /* e.g. SF_POLY_FACE */
} sf_polygon_record;

/* A scan visitor: called once per polygon. Returning non-zero stops the scan,
 * and the scan then gives that value as its result. */
typedef int (*sf_polygon_visitor_fn)(void *context, const sf_polygon_record *polygon);

/* ------------------------------------------------------------------------ */
/* The edit session                                                         */
/* ------------------------------------------------------------------------ */

/* Returned by a host that was handed an id it never gave out, or a value it
 * cannot take. */
#define SF_EDIT_OK 0
#define SF_EDIT_BADID 1

struct sf_edit_session {
    void *state; /* passed back unchanged as each operation's first argument */

    /* Ends the session. `error_code` 0 keeps everything added; any other code
     * leaves the scene as it was before begin_edit. `reserved` is 0. The
     * session record and every id it gave out are invalid afterwards. */
    void (*end_edit)(void *state, int error_code, int reserved);

    /* Number of points / polygons in a layer set (SF_LAYERS_*), all or only the
     * selected ones (SF_COUNT_*). Points have no selection of their own here:
     * a point counts as selected when a selected polygon uses it. */
    int32_t (*count_points)(void *state, int32_t layer_set, int32_t count_mode);
    int32_t (*count_polygons)(void *state, int32_t layer_set, int32_t count_mode);

    /* Calls `visitor(context, record)` for each polygon of the layer set, in
     * the layers' order and each layer's polygon order. Polygons added while
     * the scan runs are not visited. Returns 0, or the first non-zero value a
     * visitor returned. */
    int32_t (*scan_polygons)(void *state, sf_polygon_visitor_fn visitor, void *context, int32_t layer_set);

    /* Describes a point; null for an id the host does not know. */
    const sf_point_record *(*point_info)(void *state, sf_point_id point);

    /* Describes a polygon; null for an id the host does not know. */
    const sf_polygon_record *(*polygon_info)(void *state, sf_polygon_id polygon);

    /* Writes the polygon's unit normal into `normal` (right-hand rule: the
     * points run counter-clockwise seen from the front). Returns 1 on success;
     * 0 with (0, 0, 0) for a polygon of fewer than three points, of no area, or
     * an unknown id. */
    int32_t (*polygon_normal)(void *state, sf_polygon_id polygon, double normal[3]);

    /* Adds a point at `position` to the foreground layer. Returns its id, or
     * null when the host refuses it. */
    sf_point_id (*add_point)(void *state, const double position[3]);

    /* Gives `point` the `dimension` values in the vertex map of this type and
     * name, creating the map with that dimension when it does not exist.
     * Returns 1 when stored, 0 when refused (unknown point, a dimension that
     * does not match the existing map). `name` need not outlive the call. */
    int32_t (*set_point_vmap)(void *state, sf_point_id point, uint32_t type, const char *name, int32_t dimension,
                              const float *values);

    /* Adds a polygon of `type` over `point_count` points to the foreground
     * layer. With `surface` null, the polygon takes its surface and its
     * type-specific attributes from `template_polygon` (when that is a known
     * polygon), but never its selection. Returns the new id, or null when
     * refused. */
    sf_polygon_id (*add_polygon)(void *state, uint32_t type, sf_polygon_id template_polygon, const char *surface,
                                 int32_t point_count, const sf_point_id *points);

    /* Chooses the vertex map that point_info reports and get_point_vmap reads.
     * `map_handle` is null (by-name lookup). Returns an opaque handle of the
     * map, or null when no map of that type and name exists (then no map is
     * selected). */
    void *(*select_vmap)(void *state, void *map_handle, uint32_t type, const char *name);

    /* Copies the point's value in the selected map into `values` (as many
     * floats as the map's dimension) and returns 1; returns 0 and leaves
     * `values` alone when the point has no value there or no map is selected. */
    int32_t (*get_point_vmap)(void *state, sf_point_id point, float *values);
};

/* ------------------------------------------------------------------------ */
/* Global services                                                          */
/* ------------------------------------------------------------------------ */

/* "Info Messages 2". Each shows one message of one or two lines; `line2` may
 * be null. Neither function keeps the texts. */
typedef struct sf_message_service {
    void (*show_info)(const char *line1, const char *line2);
    void (*show_error)(const char *line1, const char *line2);
} sf_message_service;

/* "Scene Objects 6". Vertex maps of the whole scene, in a stable order. */
typedef struct sf_scene_objects_service {
    /* Number of vertex maps of this type in the scene. */
    int32_t (*count_vmaps)(uint32_t type);
    /* Name of map `index` (from 0) of this type, or null for an index out of
     * range. Valid until `activate` returns. */
    const char *(*vmap_name)(uint32_t type, int32_t index);
} sf_scene_objects_service;

/* "LWM: Dynamic Monitor". A progress display. */
typedef struct sf_monitor {
    void *state;
    /* Starts the display for `total` steps. */
    void (*monitor_init)(void *state, int32_t total);
    /* Advances by `increment` steps. Returns non-zero when the user asked to
     * cancel (callers may ignore it). */
    int32_t (*monitor_step)(void *state, int32_t increment);
    /* Ends the display. */
    void (*monitor_done)(void *state);
} sf_monitor;

typedef struct sf_monitor_service {
    /* Creates a monitor with a title and a caption; null when none can be
     * made. The monitor lives until monitor_destroy. */
    sf_monitor *(*monitor_create)(const char *title, const char *caption);
    void (*monitor_destroy)(sf_monitor *monitor);
} sf_monitor_service;

/* "LWXPanel". A modal form of controls. */
typedef struct sf_panel sf_panel;

/* One row of a control table or data-description table. Tables end with a row
 * whose id is 0 and whose texts are null. Control kinds: "integer", "iBoolean",
 * "percent", "float", "angle", "iPopChoice", "vButton". Data kinds: "integer"
 * (an int32_t value), "float" (a double value), "vButton" (no value). The
 * tables must stay valid until panel_destroy. */
typedef struct sf_panel_control {
    uint32_t id;
    const char *label;
    const char *kind;
} sf_panel_control;

#define SF_PANEL_FORM 2

/* A hint list is an array of pointer-sized words: a hint code, its operand
 * words, and so on, the whole list ending with one 0 word. Texts and string
 * lists are passed by address and must stay valid until panel_destroy. */
typedef uintptr_t sf_hint_word;

#define SF_HINT_LABEL 0x3d000b03u        /* id, text, 0 */
#define SF_HINT_GROUP 0x3d01fe81u        /* group id, member ids..., 0 */
#define SF_HINT_TAB_SET 0x3d020a81u      /* tab-set id, group ids..., 0 */
#define SF_HINT_DIVIDER 0x3d021481u      /* id of the control it follows, 0 */
#define SF_HINT_STRING_LIST 0x3d014503u  /* pop-up id, const char *const * ended by a null entry, 0 */
#define SF_HINT_BUTTON_ACTION 0x3d015f02u /* button id, sf_panel_button_fn (no 0 word) */
#define SF_HINT_ENABLE_RULE 0x3d01f984u  /* controlling id, message, 0, 0, governed ids..., 0 */

/* A button's action, run from within panel_post while the panel is open. */
typedef void (*sf_panel_button_fn)(sf_panel *panel, uint32_t control_id);

typedef struct sf_panel_service {
    /* Creates a panel of `kind` (SF_PANEL_FORM) with these controls; null
     * when it cannot be made. */
    sf_panel *(*panel_create)(int32_t kind, const sf_panel_control *controls);
    void (*panel_destroy)(sf_panel *panel);
    /* Describes the value kind of each control. `get_value` and `set_value`
     * are null for a form (values move with panel_get and panel_set). */
    void (*panel_describe)(sf_panel *panel, const sf_panel_control *data, void *get_value, void *set_value);
    /* Hands over the hint list; `control_id` 0 is the panel itself. */
    void (*panel_hint)(sf_panel *panel, uint32_t control_id, const sf_hint_word *hints);
    /* Address of the control's current value (int32_t or double, as its data
     * kind says), valid until the next call on this panel; null for a button
     * or an unknown id. */
    const void *(*panel_get)(sf_panel *panel, uint32_t control_id);
    /* Sets the control's value from `value` (int32_t or double as above). */
    void (*panel_set)(sf_panel *panel, uint32_t control_id, const void *value);
    /* Shows the panel and waits. Non-zero when accepted (OK), 0 when cancelled. */
    int32_t (*panel_post)(sf_panel *panel);
} sf_panel_service;

#ifdef __cplusplus
}
#endif

#endif /* SOWFIELD_HOST_H */
