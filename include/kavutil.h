/*
 * kavutil.h - the public interface of the kavutil utility library.
 *
 * One C header for C and C++ callers: every exported function and every
 * record that callers lay out or read, grouped by family.  Records are plain
 * C structs; memory that a caller releases comes from malloc and goes back
 * with free.
 *
 * Calling conventions: on 32-bit Windows every exported function is stdcall
 * (KAV_CALL), except the variadic ones, which are cdecl (KAV_CDECL).  Callbacks that a
 * caller stores in a record or passes in (copy, release and compare
 * functions, visitors, hooks, sort comparators) always use the C default
 * convention (cdecl).  Elsewhere KAV_CALL is empty.
 *
 * Build macros: KAVUTIL_BUILD while building the library itself,
 * KAVUTIL_STATIC when linking the static library on Windows.
 */
#ifndef KAVUTIL_H
#define KAVUTIL_H

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

#if defined(_WIN32)
#if defined(KAVUTIL_BUILD)
#define KAV_EXPORT_ATTR __declspec(dllexport)
#elif defined(KAVUTIL_STATIC)
#define KAV_EXPORT_ATTR
#else
#define KAV_EXPORT_ATTR __declspec(dllimport)
#endif
#if defined(_M_IX86) || defined(__i386__)
#define KAV_CALL __stdcall
#else
#define KAV_CALL
#endif
#define KAV_CDECL __cdecl
#else
#define KAV_EXPORT_ATTR __attribute__((visibility("default")))
#define KAV_CALL
#define KAV_CDECL
#endif

#define KAV_API KAV_EXPORT_ATTR
#define KAV_DATA extern KAV_EXPORT_ATTR

#ifdef __cplusplus
extern "C" {
#endif

/* An untyped pointer-sized word: the payloads and keys of the containers.
 * 0 stands for "none" in every lookup result. */
typedef intptr_t kav_word;

/* ---------------------------------------------------------------------------
 * Strings: paths, decimal rounding, escaping, searching, field scanners,
 * line breaking, blank stripping.  All work in the caller's memory.
 * kav_strfld, kav_strtok and kav_strbrk each keep one process-wide cursor.
 * ------------------------------------------------------------------------- */

KAV_API char *KAV_CALL kav_basename(char *path);
KAV_API char *KAV_CALL kav_dirname(char *path);
KAV_API double KAV_CALL dround(double value, int digits);
KAV_API double KAV_CALL dtrunc(double value);
KAV_API char *KAV_CALL escape_control(const char *text, FILE *stream);
KAV_API char *KAV_CALL kav_strstr(char *haystack, const char *needle);
KAV_API char *KAV_CALL kav_stristr(char *haystack, char *needle);
KAV_API char *KAV_CALL kav_strfld(char *text, const char *delimiter);
KAV_API char *KAV_CALL kav_strtok(char *text, const char *delimiters);
KAV_API int KAV_CALL kav_strbrk(char *dest, const char *text, int width);
KAV_API char *KAV_CALL kav_strdub(char *dest, const char *src);
KAV_API int KAV_CALL stripblanks_end(char *s, unsigned int len);
KAV_API int KAV_CALL stripblanks_endcrnl(char *s, unsigned int len);
KAV_API int KAV_CALL stripblanks_begend(char *s, unsigned int len);
KAV_API int KAV_CALL stripblanks_any(char *s, unsigned int len);
KAV_API int KAV_CALL stripblanks_begendmult(char *s, unsigned int len);
KAV_API char *KAV_CALL strip_chars(char *s, const char *set);
KAV_API char *KAV_CALL stritok(const char *text, const char *word);

/* ---------------------------------------------------------------------------
 * Formatted output: the library's own small sprintf.  Conversions d i u o x X
 * (the full 32-bit int whatever the qualifier h, l or L), c, s, p, n, a and A
 * (a dotted IPv4 address from 4 bytes; with l a MAC address from 6 bytes,
 * upper-case hex after A) and %%.  Any other conversion is printed as it
 * stands ("%y", "%f") and takes no argument.  The pointer conversions read
 * pointer-sized arguments.  There is no size limit: the caller's buffer must
 * hold the whole result and its NUL.  The result is the number of characters
 * before the NUL.  The hook (C calling convention; may be null) is called once for each non-null
 * %s argument and returns a malloc'ed string that the formatter prints and
 * releases with free; a null argument or a null result prints "<NULL>".
 * ------------------------------------------------------------------------- */

typedef char *(*kav_string_hook)(const char *text);

KAV_API int KAV_CALL kav_vsprintf(kav_string_hook hook, char *buffer, const char *format,
                                  va_list args);
KAV_API int KAV_CDECL kav_sprintf(kav_string_hook hook, char *buffer, const char *format, ...);

/* ---------------------------------------------------------------------------
 * Formatted input: a field splitter over the standard scanner.  Directives
 * %d %u (32-bit, 16-bit after h), %f (float, double after l), %c, %s and the
 * unsupported %D %T (32-bit, left 0); * suppresses a directive.  Every target
 * is cleared before its field is converted, a field always ends at the next
 * literal of the format, and %s followed by a literal reads up to that
 * literal, blanks included.  The result counts the directives processed,
 * failed conversions included.  A directive longer than 127 characters ends
 * the scan.  Variadic, so cdecl.
 * ------------------------------------------------------------------------- */

KAV_API int KAV_CDECL kav_sscanf(const char *input, const char *format, ...);

/* ---------------------------------------------------------------------------
 * Regular expressions: the basic expressions of the classic line editor
 * (literals, ., [classes], *, \{m,n\}, ^, $, \( \) and \1 to \9) and the
 * wildcard translation that client programs filter names with.
 * kav_setup_regexp writes at most 2 * strlen(wildcard) + 2 bytes.
 * kav_test_re is 1 on a match, and also for a null, empty or invalid
 * expression (a filter that cannot be compiled lets everything through).  It
 * compiles the expression on every call and keeps nothing between calls.
 * ------------------------------------------------------------------------- */

KAV_API int KAV_CALL kav_setup_regexp(const char *wildcard, char *regex);
KAV_API int KAV_CALL kav_test_re(const char *text, const char *regex);

/* ---------------------------------------------------------------------------
 * Node list and queue.  The node list is a singly linked list of untyped
 * payload words addressed by a caller-owned variable of type list_node *
 * (null: empty).  Nodes come from malloc and go back with free; no list
 * function ever reads, copies or releases a payload.  The functions that may
 * change the first node take the variable's address.  Failure is 0 (or null).
 *
 * IQueue keeps a count and the last node beside such a list and can be used
 * as a queue or a stack from either end: IQueueEnqueue adds after the last
 * node, IQueuePush before the first; IQueuePop takes the first payload,
 * IQueueDequeue the last.  There is no creation function: lay out a record
 * with the function words as wanted and the state words zero, and use it in
 * place or copy it with IQueueDup.  IQueueFree releases the record with free,
 * so give it only records from IQueueDup (or your own malloc).
 *
 * Ownership: the queue stores what copy_payload returns for each non-zero
 * payload (the payload itself without copy_payload) and releases what it
 * still holds through release_payload in IQueueClear and IQueueFree.  A
 * payload taken out with IQueuePop or IQueueDequeue passes to the caller.
 * A 0 payload is stored as 0 without copying; IQueueN, IQueueDup and the
 * iterator stop at it.  When a node cannot be allocated, IQueueEnqueue and
 * IQueuePush change nothing and return 0 (the node is allocated before the
 * payload is copied, so no copy is made); IQueueDup then returns null.
 * ------------------------------------------------------------------------- */

typedef kav_word (*kav_queue_copy)(kav_word payload);
typedef void (*kav_queue_release)(kav_word payload);

typedef struct list_node {
  kav_word payload;       /* the caller's value */
  struct list_node *next; /* null in the last node */
} list_node;

typedef struct IQueue {
  kav_queue_copy copy_payload;       /* may be null: payloads stored as given */
  kav_queue_release release_payload; /* may be null */
  kav_word spare;                    /* not used by the queue; copied by IQueueDup */
  int count;                         /* number of nodes */
  list_node *first;                  /* null when empty */
  list_node *last;                   /* null when empty */
} IQueue;

typedef struct IQueueIterator {
  IQueue *queue;
  list_node *node;  /* null at the end */
  kav_word payload; /* 0 at the end */
} IQueueIterator;

KAV_API int KAV_CALL allocate_node(list_node **node, kav_word payload);
KAV_API void KAV_CALL free_node(list_node **node);
KAV_API void KAV_CALL init_list(list_node **list);
KAV_API int KAV_CALL empty_list(const list_node *list);
KAV_API int KAV_CALL insert_after(list_node *node, kav_word payload);
KAV_API int KAV_CALL insert_node(list_node **list, kav_word payload);
KAV_API int KAV_CALL append_node(list_node **list, kav_word payload);
KAV_API int KAV_CALL delete_node(list_node **list, list_node *node);
KAV_API int KAV_CALL delete_node_n(list_node **list, int n);
KAV_API int KAV_CALL delete_get(list_node **list, kav_word *payload);
KAV_API list_node *KAV_CALL delete_last(list_node **list);

KAV_API IQueue *KAV_CALL IQueueDup(const IQueue *source);
KAV_API kav_word KAV_CALL IQueueEnqueue(IQueue *queue, kav_word payload);
KAV_API kav_word KAV_CALL IQueuePush(IQueue *queue, kav_word payload);
KAV_API kav_word KAV_CALL IQueuePop(IQueue *queue);
KAV_API kav_word KAV_CALL IQueueDequeue(IQueue *queue);
KAV_API kav_word KAV_CALL IQueueN(const IQueue *queue, int n);
KAV_API kav_word KAV_CALL IQueueFirst(IQueueIterator *iterator, IQueue *queue);
KAV_API kav_word KAV_CALL IQueueNext(IQueueIterator *iterator);
KAV_API int KAV_CALL IQueueCount(const IQueue *queue);
KAV_API void KAV_CALL IQueueClear(IQueue *queue);
KAV_API void KAV_CALL IQueueFree(IQueue *queue);

/* ---------------------------------------------------------------------------
 * Ordered map: a red-black tree from untyped keys to untyped payloads,
 * ordered by the caller's compare function (stored key first, probe second).
 * There is no creation function: lay out a prototype IMap (function words
 * set, tree null, the rest zero) and call IMapDup on it; release the map
 * with IMapFree.  The map copies and releases keys and payloads only through
 * the functions in its record; lookups lend the stored values.
 *
 * An IMapElement is the key and payload of an entry in place: its pointer,
 * the cursor and an iterator stay valid through insertions and through the
 * removal of other entries.  Removing the cursor's own entry, IMapClear and
 * IMapFree unset the cursor.
 *
 * Each map has its own end marker (it is allocated with the map's root
 * holder), so different maps may be changed from different threads; one map
 * is used by one thread at a time.  IMapSet and IMapRename change nothing
 * and IMapSet returns 0 when a node cannot be allocated; IMapDup then
 * returns null.
 *
 * The functions ending in 2 address a map whose payloads are maps (key k1).
 * To create inner maps on demand, give the outer map a prototype as
 * default_payload, and copy_payload / release_payload that call IMapDup and
 * IMapFree: on 32-bit Windows those two are stdcall, so wrap them in C
 * default-convention functions.
 * ------------------------------------------------------------------------- */

typedef kav_word (*kav_map_copy)(kav_word value);
typedef void (*kav_map_release)(kav_word value);
typedef int (*kav_map_compare)(kav_word stored, kav_word probe);

typedef struct IMapNode {
  int red;                 /* 1 red, 0 black */
  struct IMapNode *left;   /* left child or the end marker */
  struct IMapNode *right;  /* right child or the end marker */
  struct IMapNode *parent; /* the root's parent is the root holder */
  kav_word key;            /* key and payload: the entry's IMapElement */
  kav_word payload;
} IMapNode;

typedef struct IMapElement {
  kav_word key;
  kav_word payload;
} IMapElement;

typedef struct IMap {
  kav_map_copy copy_key;           /* required */
  kav_map_release release_key;     /* may be null */
  kav_map_compare compare;         /* required */
  kav_map_copy copy_payload;       /* may be null: payloads stored as given */
  kav_map_release release_payload; /* may be null */
  kav_word default_payload;        /* used whenever a payload of 0 is given */
  int count;                       /* number of entries */
  IMapNode *current;               /* the cursor */
  IMapNode *tree;                  /* the root holder; null in a prototype */
} IMap;

typedef struct IMapIterator {
  IMap *map;
  IMapNode *node;   /* null when the walk is over */
  kav_word key;     /* 0 when over */
  kav_word payload; /* 0 when over */
} IMapIterator;

KAV_API IMap *KAV_CALL IMapDup(const IMap *source);
KAV_API kav_word KAV_CALL IMapSet(IMap *map, kav_word key, kav_word payload);
KAV_API kav_word KAV_CALL IMapGet(const IMap *map, kav_word key);
KAV_API void KAV_CALL IMapDelete(IMap *map, kav_word key);
KAV_API void KAV_CALL IMapRename(IMap *map, kav_word old_key, kav_word new_key);
KAV_API void KAV_CALL IMapClear(IMap *map);
KAV_API void KAV_CALL IMapFree(IMap *map);
KAV_API int KAV_CALL IMapCount(const IMap *map);
KAV_API int KAV_CALL IMapPos(const IMap *map, kav_word key);
KAV_API kav_word KAV_CALL IMapFirst(IMapIterator *iterator, IMap *map);
KAV_API kav_word KAV_CALL IMapGTE(IMapIterator *iterator, IMap *map, kav_word key);
KAV_API kav_word KAV_CALL IMapNext(IMapIterator *iterator);
KAV_API void KAV_CALL IMapSetCurrent(IMap *map, kav_word key);
KAV_API kav_word KAV_CALL IMapKeyCurrent(const IMap *map);
KAV_API kav_word KAV_CALL IMapPayloadCurrent(const IMap *map);
KAV_API IMapElement *KAV_CALL IMapElementFirst(IMap *map);
KAV_API IMapElement *KAV_CALL IMapElementNext(IMap *map);
KAV_API IMapElement *KAV_CALL IMapElementCurrent(IMap *map);
KAV_API IMapElement *KAV_CALL IMapElementN(IMap *map, int n);
KAV_API kav_word KAV_CALL IMapSet2(IMap *map, kav_word k1, kav_word key, kav_word payload);
KAV_API kav_word KAV_CALL IMapGet2(const IMap *map, kav_word k1, kav_word key);
KAV_API void KAV_CALL IMapDelete2(IMap *map, kav_word k1, kav_word key);
KAV_API void KAV_CALL IMapRename2(IMap *map, kav_word k1, kav_word old_key, kav_word new_key);
KAV_API int KAV_CALL IMapPos2(const IMap *map, kav_word k1, kav_word key);
KAV_API int KAV_CALL IMapCount2(const IMap *map, kav_word k1);

/* ---------------------------------------------------------------------------
 * Dynamic string list.  A caller-owned dsList, zeroed by dsInitialize, is
 * either unsorted (one growing text with delimiters; a read with
 * keep_line_ends = 1 also indexes its lines, which turns their line feeds
 * into NULs) or sorted (dsSetSort before the first string: up to 5 keys in
 * a '|'-separated sort order such as "+S0|-D3" or "+S0-9"; each string
 * is its own block, stored with a line feed after it, newest first among
 * equals).  The list owns and copies everything; the pointers it hands out
 * stay valid until the next change, the next dsGetBuffer of a sorted list,
 * or dsFree, which empties the list and keeps its settings.  Lines are read
 * through kav_fgets in pieces of at most 2047 characters.  dsAppendFormat is
 * cdecl and cuts its text at 255 characters.  One list is used by one
 * thread at a time (the insert search writes the probe slots).
 * ------------------------------------------------------------------------- */

#define DS_MAX_KEYS 5

typedef struct dsSortKey {
  int ascending; /* 1 ascending ('+'), 0 descending ('-') */
  char type;     /* 'S' text without case, 'D' decimal; 'I', 'd', 'i', 's' no order */
  int field;     /* field number from 0, or -1 for a character range */
  int from;      /* first position of a range, from 0 */
  int to;        /* last position of a range, inclusive */
  int in_use;    /* 1 once the slot holds a parsed key */
  char *probe;   /* working value of the insert search; null between calls */
} dsSortKey;

typedef struct dsList {
  int count;                   /* number of indexed strings */
  int capacity;                /* bytes allocated for buffer (unsorted) */
  char *buffer;                /* unsorted: the text; sorted: the last dsGetBuffer text */
  char **strings;              /* sorted: the strings in order; unsorted: the read lines */
  int sorted;                  /* 1 once dsSetSort accepted a sort order */
  dsSortKey keys[DS_MAX_KEYS]; /* the sort keys by priority */
  int key_count;               /* number of keys parsed */
  int keep_line_ends;          /* 1: reads keep each line feed; else kav_fgets */
} dsList;

KAV_API int KAV_CALL dsInitialize(dsList *list);
KAV_API int KAV_CALL dsSetSort(dsList *list, const char *order);
KAV_API int KAV_CALL dsAppendWithDelimiter(dsList *list, const char *text, signed char delimiter);
KAV_API int KAV_CALL dsAppend(dsList *list, const char *text);
KAV_API int KAV_CDECL dsAppendFormat(dsList *list, const char *format, ...);
KAV_API char *KAV_CALL dsGetBuffer(dsList *list);
KAV_API int KAV_CALL dsGetStringCount(const dsList *list);
KAV_API char *KAV_CALL dsGetStringAtIndex(const dsList *list, int index);
KAV_API int KAV_CALL dsFind(dsList *list, const char *text, int start, int key, int *position);
KAV_API int KAV_CALL dsFindSortedInsertIndex(dsList *list, const char *text, int start, int key,
                                             void *unused);
KAV_API int KAV_CALL dsReadFromFileStream(dsList *list, FILE *stream);
KAV_API int KAV_CALL dsReadFromFile(dsList *list, const char *path);
KAV_API int KAV_CALL dsReadFromStdIn(dsList *list);
KAV_API void KAV_CALL dsFree(dsList *list);

/* ---------------------------------------------------------------------------
 * Array list: a growable array of items addressed by position (from 0).  An
 * item holds either a value that stays the caller's (IArrayListAdd; owned 0)
 * or the list's own copy of a block of bytes (IArrayListAddAsCopy; owned 1),
 * which is released with the item.  Item records are part of the interface:
 * a sort comparator receives the addresses of two slots (IArrayListItem **).
 * The array starts with 500 slots and grows by 500; it shrinks only when the
 * list is destroyed.  IArrayListAdd returns the new item, IArrayListAddAsCopy
 * the copy's address (0 also for an empty copy, which is still added);
 * IArrayListAddAll returns 0 for success and 1 for failure.  When memory runs
 * out an add changes nothing (capacity included) and gives 0; IArrayListAddAll
 * keeps the items it added before the failure.
 * ------------------------------------------------------------------------- */

typedef int (*kav_arraylist_compare)(const void *slot1, const void *slot2);

typedef struct IArrayListItem {
  int owned;         /* 1: data is the list's copy; 0: the caller's value */
  unsigned int size; /* bytes in the copy, 0 for values */
  kav_word data;     /* the value, or the copy's address (null if empty) */
} IArrayListItem;

typedef struct IArrayList {
  unsigned int capacity; /* slots in items */
  unsigned int count;    /* items in slots 0 to count - 1 */
  IArrayListItem **items;
} IArrayList;

KAV_API IArrayList *KAV_CALL IArrayListInit(void);
KAV_API void KAV_CALL IArrayListDestroy(IArrayList *list);
KAV_API IArrayListItem *KAV_CALL IArrayListAdd(IArrayList *list, kav_word value);
KAV_API void *KAV_CALL IArrayListAddAsCopy(IArrayList *list, const void *data, unsigned int size);
KAV_API int KAV_CALL IArrayListAddAll(IArrayList *destination, const IArrayList *source);
KAV_API kav_word KAV_CALL IArrayListGetPos(const IArrayList *list, unsigned int position);
KAV_API void KAV_CALL IArrayListDeletePos(IArrayList *list, unsigned int position);
KAV_API void KAV_CALL IArrayListDeleteAll(IArrayList *list);
KAV_API void KAV_CALL IArrayListSort(IArrayList *list, kav_arraylist_compare compare);

/* ---------------------------------------------------------------------------
 * Environment and instances: the library's own variables (an overlay that
 * kav_getenv consults before the process environment), $NAME expansion with
 * a per-instance base directory, and the reverse step from a path to $NAME.
 * kav_putenv takes ownership of a malloc'ed "NAME=value" string.
 * ------------------------------------------------------------------------- */

KAV_API char *KAV_CALL kav_getenv(const char *name);
KAV_API int KAV_CALL kav_putenv(char *entry);
KAV_API int KAV_CALL kav_clearenv(void);
KAV_API char *KAV_CALL fill_env_vars(char *text, int size);
KAV_API void KAV_CALL fill_env_vars_set_instance(int instance);
KAV_API char *KAV_CALL instance2path(int instance, const char *list);
KAV_API void KAV_CALL instance2env(int instance, const char *list, const char *token);
KAV_API void KAV_CALL str2env(char *path, int mode);
KAV_API char *KAV_CALL kav_fgets(char *buf, int size, FILE *stream);

/* ---------------------------------------------------------------------------
 * Profiles: version and location.  Profile INI files live per product
 * version in <folder>/KAV/VELTRA/<major>.<minor>.<build>/ under the per-user
 * and the common application-data folders; the old place is the Windows
 * directory.  Location selectors: 0 Windows directory, 1 common, 2 per-user,
 * 5 search per-user then common (reads only).  Returned paths end with the
 * platform's separator and live in process-wide buffers.
 * ------------------------------------------------------------------------- */

#define KAV_LOCATION_WINDOWS 0
#define KAV_LOCATION_COMMON 1
#define KAV_LOCATION_USER 2
#define KAV_LOCATION_SEARCH 5

KAV_API const char *KAV_CALL QelGetVerMajor(void);
KAV_API const char *KAV_CALL QelGetVerMinor(void);
KAV_API const char *KAV_CALL QelGetVerBuild(void);
KAV_API char *KAV_CALL QelGetDisplayVersion(void);
KAV_API char *KAV_CALL QelFormatProfileID(char *id);
KAV_API char *KAV_CALL QelGetAppProfileID(char *buf, int size, int mode);
KAV_API char *KAV_CALL QelGetUsersAppDataPath(void);
KAV_API char *KAV_CALL QelGetCommonAppDataPath(void);
KAV_API char *KAV_CALL QelGetSystemStroagePath(void);
KAV_API char *KAV_CALL QelGetINIPath(int location);

/* ---------------------------------------------------------------------------
 * Profiles: reads and writes.  file is an INI file's bare name (resolved in
 * the location's directory) or a path.  Reads with location 5 try the
 * per-user file, then the common one, key by key.  Writes go to the common
 * file, or the per-user one for location 2 and the per-user programs; the
 * first write creates the directories and the file.
 * ------------------------------------------------------------------------- */

KAV_API int KAV_CALL QelGetPrivateProfileString(const char *section, const char *key,
                                                const char *def, char *out, int len,
                                                const char *file, int location);
KAV_API int KAV_CALL QelGetPrivateProfileInt(const char *section, const char *key, int def,
                                             const char *file, int location);
KAV_API int KAV_CALL QelGetPrivateProfileSection(const char *section, char *out, int size,
                                                 const char *file, int location);
KAV_API int KAV_CALL QelGetPrivateProfileSectionNames(char *out, int size, const char *file,
                                                      int location);
KAV_API int KAV_CALL QelGetPrivateProfileStruct(const char *section, const char *key, void *data,
                                                int size, const char *file, int location);
KAV_API int KAV_CALL QelWritePrivateProfileString(const char *section, const char *key,
                                                  const char *value, const char *file,
                                                  int location);
KAV_API int KAV_CALL QelWritePrivateProfileSection(const char *section, const char *text,
                                                   const char *file, int location);
KAV_API int KAV_CALL QelWritePrivateProfileStruct(const char *section, const char *key,
                                                  const void *data, int size, const char *file,
                                                  int location);
KAV_API char *KAV_CALL QelGetINIPathAppend(int location, const char *name, char *out);
KAV_API int KAV_CALL QelGetDestConfigFile(char *out, const char *file, int location);

/* ---------------------------------------------------------------------------
 * Profiles: initialization from an earlier version, single-setting migration
 * and the numbered keys of the "Tools" section.  common: non-zero for the
 * common profile root, 0 for the per-user one.  Modes: 0 always write,
 * 1 only when the key is missing, 2 only when it is present.
 * ------------------------------------------------------------------------- */

KAV_API int KAV_CALL QelInitializeProfile(const char *ini);
KAV_API int KAV_CALL QelFindPreviousProfile(char *out, const char *name, int major, int minor,
                                            int build, int common);
KAV_API int KAV_CALL QelFindPreviousProfile2(char *out, const char *name, int major, int minor,
                                             int build);
KAV_API int KAV_CALL QelCheckProfileExists(const char *name, int major, int minor, int build,
                                           int common);
KAV_API int KAV_CALL QelProfileSettingMigrate(const char *section, const char *key, const char *def,
                                              const char *source_file, const char *dest_file,
                                              int mode);
KAV_API int KAV_CALL QelProfileSettingUpdate(const char *section, const char *key,
                                             const char *value, const char *file, int mode,
                                             int location);
KAV_API int KAV_CALL QelFindToolKey(char *out, const char *text, const char *file, int location);
KAV_API int KAV_CALL QelGetNextToolKey(char *out, const char *file, int location);

/* ---------------------------------------------------------------------------
 * Configuration file store: section/key files read whole into one process-
 * wide cache.  A null or empty section means "Site".  The first occurrence of
 * a key in a section wins; names and keys compare case-sensitively.  Values
 * point into the cache and stay valid until a query names another file or
 * cfs_free empties it.  A missing file, or a line without '=' in a section,
 * makes every query on that file return its default.  Not thread-safe.
 * ------------------------------------------------------------------------- */

KAV_API const char *KAV_CALL get_cfsvalue_def(const char *file, const char *section,
                                              const char *key, const char *def);
KAV_API const char *KAV_CALL get_cfsvalue(const char *file, const char *section, const char *key);
KAV_API int KAV_CALL get_cfsvalue_int(const char *file, const char *section, const char *key,
                                      int def);
KAV_API void KAV_CALL cfs_free(void);

/* ---------------------------------------------------------------------------
 * Files and directories.  Result senses differ by function: 0 success and
 * 1 failure for copy_file, copy_dir, parent_dir, append_file and
 * create_file_from_chunk; 1 success for recursive_unlink.  Offsets are
 * 32-bit; the chunk functions take an end offset, not a length.
 * ------------------------------------------------------------------------- */

/* The traverse_tree visitor (C calling convention): the directory and pattern
 * walked, the visitor itself (to walk a subdirectory the same way: cast it
 * back to kav_tree_visitor), the caller's context, the entry's name and 1 for
 * a directory.  Non-zero stops the walk and becomes traverse_tree's result. */
typedef int (*kav_tree_visitor)(const char *directory, const char *pattern, void (*visitor)(void),
                                void *context, const char *name, int is_directory);

KAV_API int KAV_CALL compare_path(const char *a, const char *b);
KAV_API void KAV_CALL make_fullpath(const char *path, char *out);
KAV_API int KAV_CALL is_fullpath(const char *path);
KAV_API int KAV_CALL fix_dir_slash(char *path);
KAV_API const char *KAV_CALL get_illegal_filename_chars(void);
KAV_API char *KAV_CALL strip_illegal_filename_chars(char *name);
KAV_API int KAV_CALL getfilesize(const char *path);
KAV_API int KAV_CALL getfiletype(const char *path);
KAV_API int KAV_CALL copy_file(const char *source, const char *destination);
KAV_API int KAV_CALL copy_dir(const char *source, const char *destination);
KAV_API int KAV_CALL parent_dir(const char *path);
KAV_API int KAV_CALL mkdir_fullpath(const char *path);
KAV_API int KAV_CALL recursive_unlink(const char *path);
KAV_API unsigned int KAV_CALL get_check_sum(const char *path);
KAV_API int KAV_CALL append_file(const char *source, const char *destination);
KAV_API int KAV_CALL append_file_chunk(FILE *in, int start, int end, FILE *out);
KAV_API int KAV_CALL append_file_chunk_with_formfeed(FILE *in, int start, int end, FILE *out);
KAV_API int KAV_CALL create_file_from_chunk(FILE *in, int start, int end, const char *path);
KAV_API int KAV_CALL traverse_tree(const char *directory, const char *pattern,
                                   kav_tree_visitor visitor, void *context);
KAV_API int KAV_CALL fix_filename_case(const char *wanted, const char *directory);

/* ---------------------------------------------------------------------------
 * Process launching.  The command line is the program and its arguments as
 * Windows parses them (the first word names the program); it may be changed
 * during the call.  show is a Windows show-window value (0 hidden, 1 normal,
 * 6 minimised).  Wait modes: 0 no wait; 1 wait until the program is idle for
 * input; 2 wait for its end and return its exit code; 3 no wait, and no
 * handles inherited when no file is named; 4 as 1 with the inheritance rule
 * of 3.  input, output and error name files for the three standard streams
 * (or are null); files are created when missing and never truncated, output
 * and error are appended to, and one name given for both opens one file.
 * Results: 0 when started (and, in mode 2, the exit code), else the system's
 * error code for the failed start; kav_winexec_as_user gives -1 when the
 * logon fails, after printing "LogonUserError: <code>" on standard output.
 * No state is kept; the functions may be called from several threads.
 * ------------------------------------------------------------------------- */

KAV_API int KAV_CALL kav_winexec(char *command_line, unsigned short show, int wait_mode,
                                 const char *input, const char *output, const char *error);
KAV_API int KAV_CALL kav_winexec_as_user(char *command_line, unsigned short show, int wait_mode,
                                         const char *input, const char *output, const char *error,
                                         const char *user, const char *password);
KAV_API int KAV_CALL kav_winexec_console(char *command_line, int show, int wait_mode,
                                         const char *input, const char *output, const char *error);

/* ---------------------------------------------------------------------------
 * Mapped buffers and disk space.  CreateMappedBuffer makes a scratch area of
 * size bytes backed by a new temporary file in the directory named by QELTMP
 * (through kav_getenv) and mapped into memory; the caller reads and writes
 * size bytes at view and hands the record back to DeleteMappedBuffer, which
 * unmaps it, deletes the file and frees the record.  Null on any failure,
 * with nothing left behind.  The handle fields are the system's handles (on
 * POSIX: file holds the file descriptor, mapping is null).
 * GetDiskFreeSpaceInMB gives the free space of the file system holding path
 * in units of 1048576 bytes, or 0xFFFFFFFF on failure.
 * ------------------------------------------------------------------------- */

#define KAV_MAPPED_NAME_SIZE 1024

typedef struct MappedBuffer {
  char file_name[KAV_MAPPED_NAME_SIZE]; /* the backing file; empty when none was named */
  void *file;                           /* the open backing file */
  uint32_t size;                        /* bytes in the file and the view */
  void *mapping;                        /* the file-mapping object */
  void *view;                           /* the mapped bytes */
} MappedBuffer;

KAV_API MappedBuffer *KAV_CALL CreateMappedBuffer(uint32_t size);
KAV_API void KAV_CALL DeleteMappedBuffer(MappedBuffer *buffer);
KAV_API uint32_t KAV_CALL GetDiskFreeSpaceInMB(const char *path);

/* ---------------------------------------------------------------------------
 * Ghostscript location and the MySQL client.  KAVGetGhostScriptPath gives
 * the directory that holds the Ghostscript library: with a non-zero edition
 * the product's own edition first (KAV_GS, its installation entries, the
 * fixed place under the program files), with 0 the general search (GS_DLL,
 * the GPL and AFPL installations, KAV_GS, the product edition).  The result
 * is an environment value or a process-wide buffer that the next search
 * overwrites; it may be empty, and is null only when the edition search's
 * fixed place lacks the library.
 *
 * kav_mysql_load loads the MySQL client library on first use and sets the
 * twenty mysql_api_ variables to its functions; every load adds one user,
 * kav_mysql_free removes one and unloads the library after the last.  1 when
 * loaded with all twenty entry points, else 0 and nothing loaded.  The
 * variables are to be called only while the library is loaded.  Not
 * thread-safe: the module and its use count are process-wide.
 *
 * The client's types are opaque here; a program that also includes the
 * client's own mysql.h includes it before this header.
 * ------------------------------------------------------------------------- */

#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#define KAV_MYSQL_CALL __stdcall
#else
#define KAV_MYSQL_CALL
#endif

#if !defined(_mysql_h)
typedef struct st_mysql MYSQL;
typedef struct st_mysql_res MYSQL_RES;
typedef struct st_mysql_field MYSQL_FIELD;
typedef char **MYSQL_ROW;
#endif

typedef MYSQL *(KAV_MYSQL_CALL *kav_mysql_init_fn)(MYSQL *mysql);
typedef int(KAV_MYSQL_CALL *kav_mysql_options_fn)(MYSQL *mysql, int option, const void *arg);
typedef unsigned long(KAV_MYSQL_CALL *kav_mysql_escape_string_fn)(char *to, const char *from,
                                                                  unsigned long length);
typedef MYSQL_FIELD *(KAV_MYSQL_CALL *kav_mysql_fetch_fields_fn)(MYSQL_RES *result);
typedef unsigned long *(KAV_MYSQL_CALL *kav_mysql_fetch_lengths_fn)(MYSQL_RES *result);
typedef unsigned int(KAV_MYSQL_CALL *kav_mysql_num_fields_fn)(MYSQL_RES *result);
typedef MYSQL_ROW(KAV_MYSQL_CALL *kav_mysql_fetch_row_fn)(MYSQL_RES *result);
typedef unsigned long long(KAV_MYSQL_CALL *kav_mysql_affected_rows_fn)(MYSQL *mysql);
typedef unsigned long long(KAV_MYSQL_CALL *kav_mysql_insert_id_fn)(MYSQL *mysql);
typedef const char *(KAV_MYSQL_CALL *kav_mysql_error_fn)(MYSQL *mysql);
typedef unsigned int(KAV_MYSQL_CALL *kav_mysql_errno_fn)(MYSQL *mysql);
typedef int(KAV_MYSQL_CALL *kav_mysql_query_fn)(MYSQL *mysql, const char *query);
typedef MYSQL *(KAV_MYSQL_CALL *kav_mysql_real_connect_fn)(MYSQL *mysql, const char *host,
                                                           const char *user, const char *password,
                                                           const char *database, unsigned int port,
                                                           const char *unix_socket,
                                                           unsigned long flags);
typedef void(KAV_MYSQL_CALL *kav_mysql_close_fn)(MYSQL *mysql);
typedef unsigned long(KAV_MYSQL_CALL *kav_mysql_real_escape_string_fn)(MYSQL *mysql, char *to,
                                                                       const char *from,
                                                                       unsigned long length);
typedef void(KAV_MYSQL_CALL *kav_mysql_free_result_fn)(MYSQL_RES *result);
typedef char(KAV_MYSQL_CALL *kav_mysql_autocommit_fn)(MYSQL *mysql, char mode);
typedef char(KAV_MYSQL_CALL *kav_mysql_commit_fn)(MYSQL *mysql);
typedef char(KAV_MYSQL_CALL *kav_mysql_rollback_fn)(MYSQL *mysql);
typedef MYSQL_RES *(KAV_MYSQL_CALL *kav_mysql_store_result_fn)(MYSQL *mysql);

KAV_API char *KAV_CALL KAVGetGhostScriptPath(int edition);
KAV_API int KAV_CALL kav_mysql_load(void);
KAV_API void KAV_CALL kav_mysql_free(void);

KAV_DATA kav_mysql_init_fn mysql_api_init;
KAV_DATA kav_mysql_options_fn mysql_api_options;
KAV_DATA kav_mysql_escape_string_fn mysql_api_escape_string;
KAV_DATA kav_mysql_fetch_fields_fn mysql_api_fetch_fields;
KAV_DATA kav_mysql_fetch_lengths_fn mysql_api_fetch_lengths;
KAV_DATA kav_mysql_num_fields_fn mysql_api_num_fields;
KAV_DATA kav_mysql_fetch_row_fn mysql_api_fetch_row;
KAV_DATA kav_mysql_affected_rows_fn mysql_api_affected_rows;
KAV_DATA kav_mysql_insert_id_fn mysql_api_insert_id;
KAV_DATA kav_mysql_error_fn mysql_api_error;
KAV_DATA kav_mysql_errno_fn mysql_api_errno;
KAV_DATA kav_mysql_query_fn mysql_api_query;
KAV_DATA kav_mysql_real_connect_fn mysql_api_real_connect;
KAV_DATA kav_mysql_close_fn mysql_api_close;
KAV_DATA kav_mysql_real_escape_string_fn mysql_api_real_escape_string;
KAV_DATA kav_mysql_free_result_fn mysql_api_free_result;
KAV_DATA kav_mysql_autocommit_fn mysql_api_autocommit;
KAV_DATA kav_mysql_commit_fn mysql_api_commit;
KAV_DATA kav_mysql_rollback_fn mysql_api_rollback;
KAV_DATA kav_mysql_store_result_fn mysql_api_store_result;

/* ---------------------------------------------------------------------------
 * Colon record files: text files of records, one a line, fields separated
 * by ':' and field 0 the key; a '|' in a field stands for ':'.  sheaf_first
 * finds the first line with the key from the start of the stream,
 * sheaf_next the next one after the current position; both split it in
 * the record's line buffer (fields stay valid until the record is filled
 * again) and return 0, or 1 with count 0 when there is none.  Lines longer
 * than 1023 characters are read in pieces.  sheaf_quote's result lives in a
 * process-wide buffer of 1024 bytes that the next call overwrites.
 * ------------------------------------------------------------------------- */

#define SHEAF_MAX_FIELDS 16
#define SHEAF_LINE_SIZE 1024

typedef struct sheaf_record {
  uint32_t count;                 /* fields found in the current line; 0 when none */
  char *fields[SHEAF_MAX_FIELDS]; /* into line; "" from count on */
  char line[SHEAF_LINE_SIZE];     /* the current line, split in place */
} sheaf_record;

KAV_API FILE *KAV_CALL sheaf_open(const char *path);
KAV_API int KAV_CALL sheaf_close(FILE *stream);
KAV_API int KAV_CALL sheaf_first(const char *key, sheaf_record *record, FILE *stream);
KAV_API int KAV_CALL sheaf_next(const char *key, sheaf_record *record, FILE *stream);
KAV_API char *KAV_CALL sheaf_quote(const char *value);

/* ---------------------------------------------------------------------------
 * Serial ports and the Windows version.  tty_open opens a device by name
 * ("COM1", "/dev/ttyS0") and applies settings in Windows' device-control
 * syntax ("baud=9600 parity=E data=7 stop=2" or "9600,e,7,2"); fields the
 * text does not name keep the port's values.  Handles are integers; -1 is
 * failure for all three.  The caller reads and writes the handle with the
 * system's file calls and closes it with tty_close.
 *
 * kav_getwinver writes the system's short name ("XPP", "Windows 7 ", ...;
 * at most 11 bytes with the NUL; some names end in a blank, and some
 * versions leave the buffer as it was) into name when it is not null, and
 * the version numbers through the pointers that are not null; the service
 * pack numbers are 0xFFFFFFFF when unknown.  1 on success, 0 when the
 * system gives no version.
 * ------------------------------------------------------------------------- */

KAV_API int KAV_CALL tty_open(const char *device, const char *settings);
KAV_API int KAV_CALL condition_tty(int handle, const char *settings);
KAV_API int KAV_CALL tty_close(int handle);
KAV_API int KAV_CALL kav_getwinver(char *name, uint32_t *major, uint32_t *minor, uint32_t *build,
                                   uint32_t *sp_major, uint32_t *sp_minor);

/* ---------------------------------------------------------------------------
 * Error log and console prompts.  Messages go to the redirect stream if one
 * is set, else to the file named by LOGFILE, else to a message box or
 * standard error.  The variadic functions are cdecl.
 * ------------------------------------------------------------------------- */

KAV_API int KAV_CALL kav_logerr_id(int id);
KAV_API FILE *KAV_CALL kav_logerr_redirect(FILE *stream);
KAV_API int KAV_CDECL kav_logerr(const char *format, ...);
KAV_API int KAV_CDECL kav_logerrno(const char *format, ...);
KAV_API int KAV_CALL kav_logerr_write(const char *text);
KAV_API int KAV_CDECL s_prompterr(const char *format, ...);
KAV_API int KAV_CDECL s_confirm(const char *format, ...);

/* ---------------------------------------------------------------------------
 * Console status bar: one per process.  StatusBarInit sets the stream, the
 * caption (copied; may be null), the width between the brackets (at most
 * 255), the total amount of work and the least number of seconds between two
 * drawings.  StatusBarUpdate redraws the line in place (caption, bar of '*'
 * with the percentage in its middle, time left); StatusBarDone draws the full
 * bar with " Done" and a line feed.  All return 0.  Not thread-safe.
 * ------------------------------------------------------------------------- */

KAV_API int KAV_CALL StatusBarInit(FILE *stream, const char *caption, int width, unsigned int total,
                                   int interval);
KAV_API int KAV_CALL StatusBarUpdate(unsigned int current);
KAV_API int KAV_CALL StatusBarDone(void);

/* ---------------------------------------------------------------------------
 * Cheque output: the MICR E-13B code line.
 * ------------------------------------------------------------------------- */

#define MICR_TEXT_SIZE 1024

typedef struct MICR_Line_E13B {
  char amount[MICR_TEXT_SIZE];    /* template letter '$' */
  char on_us[MICR_TEXT_SIZE];     /* template letter 'o' */
  int client_option;              /* client programs' setting, default 1 */
  char transit[MICR_TEXT_SIZE];   /* template letter 't' */
  char epc[MICR_TEXT_SIZE];       /* template letter 'e' */
  char aux_on_us[MICR_TEXT_SIZE]; /* template letter 'a' */
  char format[MICR_TEXT_SIZE];    /* the layout template */
  char line[MICR_TEXT_SIZE];      /* the built code line */
  double client_offsets[2];       /* client programs' settings, default 0.0 */
  double client_sizes[7];         /* client programs' settings block ... */
  int client_values[54];          /* ... continued */
} MICR_Line_E13B;

KAV_API int KAV_CALL MICR_SetDefaults_E13B(MICR_Line_E13B *record);
KAV_API void KAV_CALL MICR_DecodeFormat_E13B(const char *format, MICR_Line_E13B *record);
KAV_API char *KAV_CALL MICR_BuildLine_E13B(MICR_Line_E13B *record, const char *symbols);
KAV_API int KAV_CALL MICR_CalculateChecksum(const char *digits);

/* ---------------------------------------------------------------------------
 * Cheque output: amounts in English words.
 * spellno's result lives in one static buffer that the next call overwrites.
 * ------------------------------------------------------------------------- */

KAV_API const char *KAV_CALL spellno(long number);
KAV_API int KAV_CALL spell_ones(const char *digit, char *word);
KAV_API int KAV_CALL spell_tens(const char *digits, char *word);

/* ---------------------------------------------------------------------------
 * Cheque output: identifier templates.  Both edit the caller's buffer, which
 * the caller makes large enough for every result the template can produce.
 * ------------------------------------------------------------------------- */

KAV_API void KAV_CALL fill_with_id(char *tmpl, char *identifier, int width);
KAV_API int KAV_CALL round_down_id(char *identifier, int step);

#ifdef __cplusplus
}
#endif

#endif /* KAVUTIL_H */
