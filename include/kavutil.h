/**
 * @file
 * The public interface of the kavutil utility library.
 *
 * One C header for C and C++ callers: every exported function and every record that callers lay
 * out or read, grouped by family (each family is a module of this reference).  Records are plain
 * C structs.  What holds throughout, unless a function says otherwise:
 *
 * - Memory: a result described as malloc'ed is the caller's, released with free.  Other returned
 *   text is the caller's own buffer, a pointer into the caller's string or record, or a
 *   process-wide buffer that the function names, together with the call that overwrites it;
 *   never free those.
 * - Buffers: where a function writes into a caller's buffer without taking its size, it names
 *   the size the caller provides.  Those sizes are limits the caller respects.
 * - Failure is told by the result alone, and its sense differs by family: null or 0 in most
 *   functions, 1 (with 0 for success) in the older file functions and IArrayListAddAll, -1 in
 *   the counts of a null container, the serial functions and GetDiskFreeSpaceInMB (0xFFFFFFFF).
 *   Each function says which.  Only the error log, and one line of kav_winexec_as_user, write
 *   anything about a failure.
 * - Threads: state that lives across calls is process-wide, unlocked, and named in its family;
 *   such a family is called from one thread at a time (callers serialise).  Functions that keep
 *   no state may run on several threads at once as long as they are not given the same objects.
 *
 * Calling conventions: on 32-bit Windows every exported function is stdcall (#KAV_CALL), except
 * the variadic ones, which are cdecl (#KAV_CDECL).  Callbacks that a caller stores in a record or
 * passes in (copy, release and compare functions, visitors, hooks, sort comparators) always use
 * the C default convention (cdecl).  Elsewhere both macros are empty.
 *
 * Build macros: KAVUTIL_BUILD while building the library itself, KAVUTIL_STATIC when linking
 * the static library on Windows.
 */
#ifndef KAVUTIL_H
#define KAVUTIL_H

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

/** The major version of the library and this header; it changes only when the interface breaks,
 * and it is the number in the shared library's name (libkavutil.so.1, SONAME). */
#define KAVUTIL_VERSION_MAJOR 1
/** The minor version; it grows when the interface gains names. */
#define KAVUTIL_VERSION_MINOR 0
/** The patch level; it grows with fixes that change no declaration. */
#define KAVUTIL_VERSION_PATCH 0
/** The version as text, "MAJOR.MINOR.PATCH" (the build checks that the macros name it). */
#define KAVUTIL_VERSION_STRING "1.0.0"

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
#define KAV_NOEXCEPT noexcept
#else
#define KAV_NOEXCEPT
#endif

/** @def KAV_EXPORT_ATTR
 * How an exported name is marked: dllexport while building the Windows DLL, dllimport when
 * using it, nothing with KAVUTIL_STATIC, default visibility on POSIX. */
/** @def KAV_CALL
 * The calling convention of the exported functions: stdcall on 32-bit Windows, else empty. */
/** @def KAV_CDECL
 * The calling convention of the variadic exported functions: cdecl on Windows, else empty. */
/** @def KAV_API
 * Marks an exported function. */
/** @def KAV_DATA
 * Marks an exported variable (the MySQL client entry points). */
/** @def KAV_NOEXCEPT
 * Ends every exported function's declaration: `noexcept` for C++ callers, for no exception
 * leaves the library (a failure is told by the result alone); empty in C. */

#ifdef __cplusplus
extern "C" {
#endif

/** An untyped pointer-sized word: the payloads and keys of the containers.  0 stands for "none"
 * in every lookup result. */
typedef intptr_t kav_word;

/* ------------------------------------------------------------------------- */
/** @defgroup strings Strings
 * Paths, decimal rounding, escaping, searching, field scanners, line breaking and blank
 * stripping on NUL-terminated 8-bit strings.  Every function works in the caller's memory (in
 * place where it changes a string; returned pointers point into it) except escape_control,
 * which writes to a stream or returns malloc'ed memory.  Character classes are the classic
 * locale's (ASCII); both `/` and `\` separate paths.
 *
 * All are reentrant except the three scanners kav_strfld, kav_strtok and kav_strbrk: each keeps
 * one process-wide cursor into the caller's string, so each runs one scan at a time in the whole
 * process, and the string must stay alive and unchanged until its scan is over.
 * @{ */

/** Returns the file-name part of @p path: a pointer just after its last separator, @p path
 * itself when it has none, or its terminating NUL when it ends with one.  @p path is not
 * changed. */
KAV_API char *KAV_CALL kav_basename(char *path) KAV_NOEXCEPT;
/** Cuts @p path in place to its directory part, writing a NUL over its last separator
 * ("a/b/c" gives "a/b", "dir/" gives "dir"), and returns @p path.  A path without a separator
 * after its first character (a bare name, "/name", the empty string) becomes ".", so @p path
 * needs at least 2 bytes. */
KAV_API char *KAV_CALL kav_dirname(char *path) KAV_NOEXCEPT;
/** Rounds @p value to @p digits decimals, half away from zero, judged on the one digit after the
 * last kept one (later digits are ignored, and 1.005 gives 1.0 because the stored double lies
 * below the half).  0 or fewer digits round to a whole number; with more than 8 digits, and for
 * infinities and NaN, @p value comes back unchanged. */
KAV_API double KAV_CALL dround(double value, int digits) KAV_NOEXCEPT;
/** Returns the integer part of @p value, truncated towards zero (-2.7 gives -2.0). */
KAV_API double KAV_CALL dtrunc(double value) KAV_NOEXCEPT;
/** Escapes @p text: every byte outside 0x20 to 0x7E, and `|` and `\`, becomes a backslash and
 * three octal digits (`"\\%03o"`: a tab gives `\011`).  With a @p stream the escaped text is
 * written to it and the result is null.  Without one the result is a new malloc'ed string that
 * the caller releases with free (empty for a null @p text), or null when memory runs out. */
KAV_API char *KAV_CALL escape_control(const char *text, FILE *stream) KAV_NOEXCEPT;
/** Finds the first occurrence of @p needle in @p haystack: a pointer into @p haystack, or null.
 * An empty haystack never matches; an empty needle matches at the start of a non-empty one.
 * Neither argument may be null. */
KAV_API char *KAV_CALL kav_strstr(char *haystack, const char *needle) KAV_NOEXCEPT;
/** As kav_strstr, comparing without regard to ASCII letter case; null when either argument is
 * null.  @p needle is not changed. */
KAV_API char *KAV_CALL kav_stristr(char *haystack, char *needle) KAV_NOEXCEPT;
/** Returns the next field of @p text split at every occurrence of the whole string
 * @p delimiter, or null when the scan is over.  A non-null @p text starts a scan, null
 * continues the last one.  Each field is ended in place by a NUL over the delimiter's first
 * character.  Empty fields are returned: "a,,b" split at "," gives "a", "", "b", then null.
 * Process-wide cursor (see the family). */
KAV_API char *KAV_CALL kav_strfld(char *text, const char *delimiter) KAV_NOEXCEPT;
/** As kav_strfld, splitting at any one character of the set @p delimiters.  Unlike strtok it
 * does not merge runs of delimiters: they give empty fields. */
KAV_API char *KAV_CALL kav_strtok(char *text, const char *delimiters) KAV_NOEXCEPT;
/** Copies the next piece of at most @p width characters of a text into @p dest and returns its
 * length.  A non-null @p text starts a text, null continues after the previous piece.  The
 * piece breaks at the last space at positions 1 to @p width (the space is dropped), else before
 * the last line feed there (which begins the next piece), else hard at @p width.  @p dest needs
 * @p width + 1 bytes.  At the end of the text, and for a @p width of 0 or less, the result is 0
 * and @p dest is empty.  Process-wide cursor (see the family). */
KAV_API int KAV_CALL kav_strbrk(char *dest, const char *text, int width) KAV_NOEXCEPT;
/** Copies @p src without its NUL to @p dest and returns @p dest advanced past the copy, so that
 * successive calls append; the caller writes the final NUL. */
KAV_API char *KAV_CALL kav_strdub(char *dest, const char *src) KAV_NOEXCEPT;
/** Removes trailing spaces in place and returns the new length.  With a non-zero @p len the
 * string is first ended at @p len (a NUL is written at s[len], so @p s needs @p len + 1 bytes)
 * and NUL bytes before that count as blanks, which trims fixed-width fields; with 0 the
 * string's own length is used.  A null @p s gives 0. */
KAV_API int KAV_CALL stripblanks_end(char *s, unsigned int len) KAV_NOEXCEPT;
/** As stripblanks_end, with carriage returns and line feeds also counting as blanks. */
KAV_API int KAV_CALL stripblanks_endcrnl(char *s, unsigned int len) KAV_NOEXCEPT;
/** Removes leading and trailing spaces in place and returns the new length.  Only the first
 * @p len characters count (pass the string's length to trim all of it): a string that runs on
 * past them is ended at @p len, and trailing spaces and NUL bytes within them are removed. */
KAV_API int KAV_CALL stripblanks_begend(char *s, unsigned int len) KAV_NOEXCEPT;
/** As stripblanks_begend, then removes every remaining space (tabs stay); returns the new
 * length. */
KAV_API int KAV_CALL stripblanks_any(char *s, unsigned int len) KAV_NOEXCEPT;
/** Squeezes blanks (spaces and tabs) in place: leading and trailing runs go, each inner run
 * becomes one space.  Returns minus the number of characters removed (0 when none were);
 * @p len is not used. */
KAV_API int KAV_CALL stripblanks_begendmult(char *s, unsigned int len) KAV_NOEXCEPT;
/** Removes from @p s, in place, every character that occurs in @p set, keeping the order of the
 * others; returns @p s. */
KAV_API char *KAV_CALL strip_chars(char *s, const char *set) KAV_NOEXCEPT;
/** Finds the first identifier token of @p text (a run of letters, digits and `_`) that begins
 * with @p word, without regard to case.  @p word ends at its first other character, so "foo=1"
 * stands for FOO, which also matches the token "FOOBAR".  Returns a pointer to the token inside
 * @p text, or null (also when either argument is null). */
KAV_API char *KAV_CALL stritok(const char *text, const char *word) KAV_NOEXCEPT;
/** fgets, then removes every carriage return and line feed at the end of the line.  Returns
 * @p buf; null at the end of the file, on an error, and for a null argument or a @p size of 0
 * or less. */
KAV_API char *KAV_CALL kav_fgets(char *buf, int size, FILE *stream) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup format Formatted output
 * The library's own small sprintf.  Conversion letters after the `%`: `d i u o x X` (the full
 * 32-bit int whatever the qualifier `h`, `l` or `L`), `c`, `s`, `p`, `n` (stores the count so far
 * as a 32-bit int), `a` and `A` (a dotted IPv4 address from 4 bytes; with `l` a MAC address from
 * 6 bytes, upper-case hex after `A`) and a second `%`, with the flags `- + # 0` and space, a width
 * and a precision (each also `*`).  Any other conversion is printed as it stands (`"%y"`,
 * `"%f"`) and takes no argument.  The pointer conversions (`s p n a A`) read pointer-sized
 * arguments.  Reentrant: nothing is kept between calls.
 * @{ */

/** A string hook (C calling convention): called once for each non-null `"%s"` argument, it
 * returns a malloc'ed string that the formatter prints and releases with free, or null to print
 * `<NULL>`. */
typedef char *(*kav_string_hook)(const char *text);

/** Formats @p format with @p args into @p buffer, always ending it with a NUL, and returns the
 * number of characters before the NUL.  There is no size limit: @p buffer must hold the whole
 * result.  @p hook may be null; without it a `"%s"` argument is printed as it stands, and a null
 * one prints `<NULL>`.  A null @p format gives an empty result. */
KAV_API int KAV_CALL kav_vsprintf(kav_string_hook hook, char *buffer, const char *format,
                                  va_list args) KAV_NOEXCEPT;
/** kav_vsprintf with variable arguments (cdecl). */
KAV_API int KAV_CDECL kav_sprintf(kav_string_hook hook, char *buffer, const char *format,
                                  ...) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup scan Formatted input
 * A field splitter over the C library's sscanf.  Directives: `"%d"` `"%u"` (32-bit, 16-bit
 * after `h`), `"%f"` (float, double after `l`), `"%c"`, `"%s"` and the unsupported `"%D"` `"%T"`
 * (32-bit, set to 0 and never converted); `*` suppresses a directive.  Every target is cleared
 * before its field is converted, a field always ends at the next literal of the format, whatever
 * the conversion read, and `"%s"` followed by a literal reads up to that literal, blanks
 * included.
 * Reentrant.
 * @{ */

/** Reads the fields of @p input under @p format into the targets that follow (one pointer for
 * each directive without `*`).  Returns the number of directives processed, failed conversions
 * included; 0 for a null @p input or @p format.  Literal text must match the input: a mismatch
 * ends the scan, as do the end of the input and a directive longer than 127 characters.
 * Targets of directives not reached are left untouched.  Variadic, so cdecl. */
KAV_API int KAV_CDECL kav_sscanf(const char *input, const char *format, ...) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup regexp Regular expressions
 * The basic expressions of the classic line editor, and the wildcard translation that client
 * programs filter names with.  An expression is made of literals, `.`, `[classes]`, `*`,
 * `\{m,n\}`, a leading `^`, a trailing `$`, `\(` `\)`, `\1` to `\9`, and `\n` for a line feed.
 * Both functions are reentrant: kav_test_re compiles the expression on every call into a buffer
 * of its own (at most 2048 bytes of program) and keeps nothing.
 * @{ */

/** Translates the file-name wildcard @p wildcard into an expression in @p regex, which needs
 * 2 * strlen(@p wildcard) + 2 bytes.  `*` becomes `.*`, `?` becomes `.`, a dot is escaped, a
 * backslash is copied with the character after it, and a `^` goes in front unless the wildcard
 * begins with `*`.  No end anchor is added, so "abc" also matches "abcdef".  Returns 1 (a null
 * @p regex is left alone; a null @p wildcard gives an empty expression). */
KAV_API int KAV_CALL kav_setup_regexp(const char *wildcard, char *regex) KAV_NOEXCEPT;
/** 1 when @p text matches the expression @p regex (anywhere, or at the start after a leading
 * `^`), 0 when it does not.  A null, empty or invalid expression also gives 1: a filter that
 * cannot be compiled lets everything through.  A null @p text is matched as the empty text. */
KAV_API int KAV_CALL kav_test_re(const char *text, const char *regex) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup list Node list and queue
 * The node list is a singly linked list of untyped payload words addressed by a caller-owned
 * variable of type list_node * (null: empty).  Nodes come from malloc and go back with free; no
 * list function ever reads, copies or releases a payload.  The functions that may change the
 * first node take the variable's address.  Failure is 0 (or null).
 *
 * IQueue keeps a count and the last node beside such a list and can be used as a queue or a
 * stack from either end: IQueueEnqueue adds after the last node, IQueuePush before the first;
 * IQueuePop takes the first payload, IQueueDequeue the last (Enqueue with Pop is first in,
 * first out; Push with Pop last in, first out).  There is no creation function: lay out a record
 * with the function words as wanted and the state words zero, and use it in place or copy it
 * with IQueueDup.
 *
 * Ownership: the queue stores what copy_payload returns for each non-zero payload (the payload
 * itself without copy_payload) and releases what it still holds through release_payload in
 * IQueueClear and IQueueFree.  A payload taken out with IQueuePop or IQueueDequeue passes to the
 * caller.  A 0 payload is stored as 0 without copying; IQueueN, IQueueDup and the iterator stop
 * at it.
 *
 * No state is shared between lists or queues; a list, a queue and its iterators are used by one
 * thread at a time.
 * @{ */

/** A queue's payload copy function (C calling convention): what it returns is what the queue
 * stores. */
typedef kav_word (*kav_queue_copy)(kav_word payload);
/** A queue's payload release function (C calling convention). */
typedef void (*kav_queue_release)(kav_word payload);

/** One node of a node list. */
typedef struct list_node {
  kav_word payload;       /**< the caller's value */
  struct list_node *next; /**< null in the last node */
} list_node;

/** A queue: a node list with its count and last node, and the payload functions. */
typedef struct IQueue {
  kav_queue_copy copy_payload;       /**< may be null: payloads stored as given */
  kav_queue_release release_payload; /**< may be null */
  kav_word spare;                    /**< not used by the queue; copied by IQueueDup */
  int count;                         /**< number of nodes */
  list_node *first;                  /**< null when empty */
  list_node *last;                   /**< null when empty */
} IQueue;

/** A caller-held cursor for walking a queue without changing it. */
typedef struct IQueueIterator {
  IQueue *queue;    /**< the queue walked */
  list_node *node;  /**< null at the end */
  kav_word payload; /**< 0 at the end */
} IQueueIterator;

/** Allocates a node holding @p payload, with a null next, into *@p node; 1, or 0 (and
 * *@p node unchanged) when memory runs out or @p node is null.  Release it with free_node. */
KAV_API int KAV_CALL allocate_node(list_node **node, kav_word payload) KAV_NOEXCEPT;
/** Releases the node *@p node (not its payload, and without unlinking it) and sets *@p node
 * to null. */
KAV_API void KAV_CALL free_node(list_node **node) KAV_NOEXCEPT;
/** Sets the list variable *@p list to null, the empty list; nothing is released. */
KAV_API void KAV_CALL init_list(list_node **list) KAV_NOEXCEPT;
/** 1 when @p list, the list variable's value, is null (empty), else 0. */
KAV_API int KAV_CALL empty_list(const list_node *list) KAV_NOEXCEPT;
/** Links a new node holding @p payload right after @p node; 1, or 0 when @p node is null or
 * memory runs out. */
KAV_API int KAV_CALL insert_after(list_node *node, kav_word payload) KAV_NOEXCEPT;
/** Makes a new node holding @p payload the first of *@p list; 1, or 0 when memory runs out. */
KAV_API int KAV_CALL insert_node(list_node **list, kav_word payload) KAV_NOEXCEPT;
/** Links a new node holding @p payload after the last one of *@p list (walking the list); 1,
 * or 0 when memory runs out. */
KAV_API int KAV_CALL append_node(list_node **list, kav_word payload) KAV_NOEXCEPT;
/** Unlinks @p node from *@p list and releases it (not its payload); 1, or 0 when @p node is
 * not in the list, which then stays as it was. */
KAV_API int KAV_CALL delete_node(list_node **list, list_node *node) KAV_NOEXCEPT;
/** Unlinks and releases node number @p n of *@p list, counted from 1; 1, or 0 when there is no
 * such node. */
KAV_API int KAV_CALL delete_node_n(list_node **list, int n) KAV_NOEXCEPT;
/** Stores the first node's payload in *@p payload, then unlinks and releases that node; 1, or 0
 * when the list is empty or @p payload is null (*@p payload then stays as it was). */
KAV_API int KAV_CALL delete_get(list_node **list, kav_word *payload) KAV_NOEXCEPT;
/** Unlinks and releases the last node of *@p list and returns the node that is now last; null
 * when the list held one node (it is empty now) or none.  The removed payload is not reported:
 * read it first. */
KAV_API list_node *KAV_CALL delete_last(list_node **list) KAV_NOEXCEPT;

/** Returns a malloc'ed copy of @p source (a laid-out prototype or a working queue) with the same
 * function words and spare, holding each payload up to the first 0 one passed through
 * copy_payload.  Null when @p source is null or memory runs out (nothing is left behind then).
 * Release it with IQueueFree. */
KAV_API IQueue *KAV_CALL IQueueDup(const IQueue *source) KAV_NOEXCEPT;
/** Adds @p payload after the last node in constant time and returns what the queue stored
 * (copy_payload's result, or @p payload).  0 for a null queue, and when no node can be allocated
 * (then nothing is added and nothing copied). */
KAV_API kav_word KAV_CALL IQueueEnqueue(IQueue *queue, kav_word payload) KAV_NOEXCEPT;
/** As IQueueEnqueue, adding before the first node. */
KAV_API kav_word KAV_CALL IQueuePush(IQueue *queue, kav_word payload) KAV_NOEXCEPT;
/** Removes the first node and returns its payload, which passes to the caller; 0 for a null or
 * empty queue. */
KAV_API kav_word KAV_CALL IQueuePop(IQueue *queue) KAV_NOEXCEPT;
/** Removes the last node (walking the list) and returns its payload, which passes to the
 * caller; 0 for a null or empty queue. */
KAV_API kav_word KAV_CALL IQueueDequeue(IQueue *queue) KAV_NOEXCEPT;
/** The payload of node @p n, counted from 0, left in place; 0 when @p n is below 0 or not below
 * the count, for a null queue, and at or after a 0 payload. */
KAV_API kav_word KAV_CALL IQueueN(const IQueue *queue, int n) KAV_NOEXCEPT;
/** Starts a walk of @p queue in *@p iterator and returns the first payload; 0 for an empty or
 * null queue and a null iterator. */
KAV_API kav_word KAV_CALL IQueueFirst(IQueueIterator *iterator, IQueue *queue) KAV_NOEXCEPT;
/** Moves @p iterator to the next node and returns its payload; 0 at the end.  Removing the node
 * under an iterator makes it unusable until IQueueFirst. */
KAV_API kav_word KAV_CALL IQueueNext(IQueueIterator *iterator) KAV_NOEXCEPT;
/** The number of nodes; -1 for a null queue. */
KAV_API int KAV_CALL IQueueCount(const IQueue *queue) KAV_NOEXCEPT;
/** Removes every node, releasing each non-zero payload through release_payload when it is set.
 * The function words and spare stay, so the queue can be reused.  A null queue is ignored. */
KAV_API void KAV_CALL IQueueClear(IQueue *queue) KAV_NOEXCEPT;
/** IQueueClear, then releases the record itself with free: give it only records from IQueueDup
 * (or the caller's own malloc).  A null queue is ignored. */
KAV_API void KAV_CALL IQueueFree(IQueue *queue) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup map Ordered map
 * A red-black tree from untyped keys to untyped payloads, ordered by the caller's compare
 * function (stored key first, probe second).  There is no creation function: lay out a
 * prototype IMap (function words set, tree null, the rest zero) and call IMapDup on it; release
 * the map with IMapFree.  The map copies and releases keys and payloads only through the
 * functions in its record; lookups lend the stored values.
 *
 * An IMapElement is the key and payload of an entry in place: its pointer, the cursor and an
 * iterator stay valid through insertions and through the removal of other entries.  Removing
 * the cursor's own entry, IMapClear and IMapFree unset the cursor.
 *
 * The functions ending in 2 address a map whose payloads are maps (key k1).  To create inner
 * maps on demand, give the outer map a prototype as default_payload, and copy_payload /
 * release_payload that call IMapDup and IMapFree: on 32-bit Windows those two are stdcall, so
 * wrap them in C default-convention functions.
 *
 * Each map has its own end marker (allocated with the map's root holder), so different maps may
 * be changed from different threads; one map, with its cursor and iterators, is used by one
 * thread at a time.
 * @{ */

/** Copies a key or payload as it enters a map (C calling convention); the map stores the
 * result. */
typedef kav_word (*kav_map_copy)(kav_word value);
/** Releases a key or payload as it leaves a map (C calling convention). */
typedef void (*kav_map_release)(kav_word value);
/** Orders two keys (C calling convention): negative, 0 or positive as @p stored is below, equal
 * to or above @p probe. */
typedef int (*kav_map_compare)(kav_word stored, kav_word probe);

/** One entry of a map's tree, allocated by the map.  Callers reach entries through IMapElement
 * pointers. */
typedef struct IMapNode {
  int red;                 /**< 1 red, 0 black */
  struct IMapNode *left;   /**< left child or the map's end marker */
  struct IMapNode *right;  /**< right child or the map's end marker */
  struct IMapNode *parent; /**< the root's parent is the root holder */
  kav_word key;            /**< the stored key; with payload, the entry's IMapElement */
  kav_word payload;        /**< the stored payload */
} IMapNode;

/** The key and payload of an entry, in place. */
typedef struct IMapElement {
  kav_word key;     /**< the stored key, lent */
  kav_word payload; /**< the stored payload, lent */
} IMapElement;

/** A map record: a prototype that the caller lays out, or a working map from IMapDup. */
typedef struct IMap {
  kav_map_copy copy_key;           /**< required */
  kav_map_release release_key;     /**< may be null */
  kav_map_compare compare;         /**< required */
  kav_map_copy copy_payload;       /**< may be null: payloads stored as given */
  kav_map_release release_payload; /**< may be null */
  kav_word default_payload;        /**< used whenever a payload of 0 is given */
  int count;                       /**< number of entries */
  IMapNode *current;               /**< the cursor */
  IMapNode *tree;                  /**< the root holder; null in a prototype */
} IMap;

/** A caller-held cursor for ordered walks. */
typedef struct IMapIterator {
  IMap *map;        /**< the map walked */
  IMapNode *node;   /**< null when the walk is over */
  kav_word key;     /**< 0 when over */
  kav_word payload; /**< 0 when over */
} IMapIterator;

/** Returns a malloc'ed working map with @p source's function words and default_payload and a
 * copy of each entry (copy_key and copy_payload called, compare not); a prototype gives an empty
 * map.  Null when @p source is null or memory runs out.  Release it with IMapFree. */
KAV_API IMap *KAV_CALL IMapDup(const IMap *source) KAV_NOEXCEPT;
/** Enters @p key, or updates its entry, and returns the payload now stored under it.  A new key
 * goes through copy_key; a payload of 0 stands for default_payload; a non-zero payload goes
 * through copy_payload.  On a present key a non-zero payload replaces a non-zero stored one only
 * when the map has release_payload (which releases the old one), else the stored one stays;
 * payload 0 only fills an entry whose payload is 0.  0 for a null map or a prototype, and when
 * memory runs out (nothing changes then). */
KAV_API kav_word KAV_CALL IMapSet(IMap *map, kav_word key, kav_word payload) KAV_NOEXCEPT;
/** The payload stored under @p key, lent; 0 when the key is absent or the map null (an absent
 * key and a 0 payload look alike: IMapPos tells them apart). */
KAV_API kav_word KAV_CALL IMapGet(const IMap *map, kav_word key) KAV_NOEXCEPT;
/** Removes the entry of @p key, if there is one, releasing its key and payload. */
KAV_API void KAV_CALL IMapDelete(IMap *map, kav_word key) KAV_NOEXCEPT;
/** Moves the payload of @p old_key to @p new_key: the old key is released, the new one goes
 * through copy_key, and the payload itself is moved (neither copied nor released).  Nothing
 * happens when either key is 0, the two compare equal, @p new_key is present, @p old_key is
 * absent, or memory runs out. */
KAV_API void KAV_CALL IMapRename(IMap *map, kav_word old_key, kav_word new_key) KAV_NOEXCEPT;
/** Removes every entry, releasing keys and payloads, and unsets the cursor; the map stays
 * usable.  A null map or a prototype is ignored. */
KAV_API void KAV_CALL IMapClear(IMap *map) KAV_NOEXCEPT;
/** IMapClear, then releases the map's tree and the record with free: give it only maps from
 * IMapDup.  A null map is ignored. */
KAV_API void KAV_CALL IMapFree(IMap *map) KAV_NOEXCEPT;
/** The number of entries; -1 for a null map. */
KAV_API int KAV_CALL IMapCount(const IMap *map) KAV_NOEXCEPT;
/** The rank of @p key in ascending order, counted from 0 (linear time); -1 when the key is
 * absent or 0, or the map null. */
KAV_API int KAV_CALL IMapPos(const IMap *map, kav_word key) KAV_NOEXCEPT;
/** Starts an ordered walk at the smallest entry in *@p iterator and returns its payload; 0 for
 * an empty or null map (the iterator's node is then null) and a null iterator. */
KAV_API kav_word KAV_CALL IMapFirst(IMapIterator *iterator, IMap *map) KAV_NOEXCEPT;
/** As IMapFirst, starting at the smallest entry whose key is not below @p key. */
KAV_API kav_word KAV_CALL IMapGTE(IMapIterator *iterator, IMap *map, kav_word key) KAV_NOEXCEPT;
/** Moves @p iterator to the next entry in order and returns its payload; 0 at the end.  A walk
 * that stops at 0 also stops at a 0 payload: test the iterator's node instead when the map holds
 * 0 payloads. */
KAV_API kav_word KAV_CALL IMapNext(IMapIterator *iterator) KAV_NOEXCEPT;
/** Puts the cursor on the entry of @p key, or unsets it when the key is absent. */
KAV_API void KAV_CALL IMapSetCurrent(IMap *map, kav_word key) KAV_NOEXCEPT;
/** The key under the cursor; 0 when the cursor is unset or past the end, or the map null. */
KAV_API kav_word KAV_CALL IMapKeyCurrent(const IMap *map) KAV_NOEXCEPT;
/** The payload under the cursor; 0 when the cursor is unset or past the end, or the map null. */
KAV_API kav_word KAV_CALL IMapPayloadCurrent(const IMap *map) KAV_NOEXCEPT;
/** Puts the cursor on the smallest entry and returns its element; null for an empty map (the
 * cursor is then past the end), a null map or a prototype. */
KAV_API IMapElement *KAV_CALL IMapElementFirst(IMap *map) KAV_NOEXCEPT;
/** Moves the cursor to the next entry and returns its element; null past the end, and when the
 * cursor is unset or already past the end (it then stays where it is). */
KAV_API IMapElement *KAV_CALL IMapElementNext(IMap *map) KAV_NOEXCEPT;
/** The element under the cursor; null when the cursor is unset or past the end. */
KAV_API IMapElement *KAV_CALL IMapElementCurrent(IMap *map) KAV_NOEXCEPT;
/** The element of rank @p n, counted from 0 (linear time), without moving the cursor; null when
 * @p n is below 0 or not below the count. */
KAV_API IMapElement *KAV_CALL IMapElementN(IMap *map, int n) KAV_NOEXCEPT;
/** IMapSet of @p key and @p payload on the inner map stored under @p k1.  An absent @p k1 is
 * first entered with payload 0, which creates the inner map from the outer default_payload
 * through copy_payload.  0 when @p k1 then has no inner map (it stays entered with payload 0). */
KAV_API kav_word KAV_CALL IMapSet2(IMap *map, kav_word k1, kav_word key,
                                   kav_word payload) KAV_NOEXCEPT;
/** IMapGet on the inner map stored under @p k1; 0 when @p k1 is absent. */
KAV_API kav_word KAV_CALL IMapGet2(const IMap *map, kav_word k1, kav_word key) KAV_NOEXCEPT;
/** IMapDelete on the inner map stored under @p k1; nothing when @p k1 is absent. */
KAV_API void KAV_CALL IMapDelete2(IMap *map, kav_word k1, kav_word key) KAV_NOEXCEPT;
/** IMapRename on the inner map stored under @p k1; nothing when @p k1 is absent. */
KAV_API void KAV_CALL IMapRename2(IMap *map, kav_word k1, kav_word old_key,
                                  kav_word new_key) KAV_NOEXCEPT;
/** IMapPos on the inner map stored under @p k1; -1 when @p k1 is absent. */
KAV_API int KAV_CALL IMapPos2(const IMap *map, kav_word k1, kav_word key) KAV_NOEXCEPT;
/** IMapCount of the inner map stored under @p k1; -1 when @p k1 is absent. */
KAV_API int KAV_CALL IMapCount2(const IMap *map, kav_word k1) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup dslist Dynamic string list
 * A caller-owned dsList, zeroed by dsInitialize, is either unsorted (one growing text with
 * delimiters; a read also indexes its lines) or sorted (dsSetSort before the first string: each
 * string is its own block, stored with a line feed after it, in key order, newest first among
 * equals).  The list owns and copies everything; the pointers it hands out stay valid until the
 * next change, the next dsGetBuffer of a sorted list, or dsFree, and are never freed by the
 * caller.  No state is shared between lists; one list is used by one thread at a time (the
 * insert search writes the probe slots).
 * @{ */

/** The most sort keys a list holds. */
#define DS_MAX_KEYS 5

/** One sort key, as dsSetSort parsed it. */
typedef struct dsSortKey {
  int ascending; /**< 1 ascending ('+'), 0 descending ('-') */
  char type;     /**< 'S' text without case, 'D' decimal; 'I', 'd', 'i', 's' no order */
  int field;     /**< field number from 0, or -1 for a character range */
  int from;      /**< first position of a range, from 0 */
  int to;        /**< last position of a range, inclusive */
  int in_use;    /**< 1 once the slot holds a parsed key */
  char *probe;   /**< working value of the insert search; null between calls */
} dsSortKey;

/** A string list, owned by the caller; its buffers belong to the list. */
typedef struct dsList {
  int count;                   /**< number of indexed strings */
  int capacity;                /**< bytes allocated for buffer (unsorted) */
  char *buffer;                /**< unsorted: the text; sorted: the last dsGetBuffer text */
  char **strings;              /**< sorted: the strings in order; unsorted: the read lines */
  int sorted;                  /**< 1 once dsSetSort accepted a sort order */
  dsSortKey keys[DS_MAX_KEYS]; /**< the sort keys by priority */
  int key_count;               /**< number of keys parsed */
  int keep_line_ends;          /**< 1: reads keep each line feed; else kav_fgets */
} dsList;

/** Zeroes the whole record: an empty, unsorted list (a filled one must be emptied with dsFree
 * first, or its memory is lost).  1, or 0 for a null list.  Set keep_line_ends after it. */
KAV_API int KAV_CALL dsInitialize(dsList *list) KAV_NOEXCEPT;
/** Makes the list sorted by the sort order @p order.  The order is up to 5 keys separated by `|`,
 * each a direction (`+` or `-`), a type letter (`S` text without case, `D` decimal number; `I`,
 * `d`, `i` and `s` are accepted and give no order) and a field number from 0 (fields are separated
 * by `|`) or a range of character positions `from-to`, such as "+S0|-D3" or "+S0-9".  An empty
 * order is accepted without keys.  1 when accepted; 0 for a malformed key (the list's mode stays as
 * it was) or a null argument.  Call it before the first string. */
KAV_API int KAV_CALL dsSetSort(dsList *list, const char *order) KAV_NOEXCEPT;
/** Adds a copy of @p text.  Sorted: at its place by the keys, before the strings equal to it,
 * with a line feed after it; @p delimiter is not used.  Unsorted: appended to the text, followed
 * by @p delimiter when that is above 0 and @p text does not already end with it.  1; 0 for a
 * null argument, when memory runs out (nothing changes), and for an unsorted list whose lines a
 * read has indexed. */
KAV_API int KAV_CALL dsAppendWithDelimiter(dsList *list, const char *text,
                                           signed char delimiter) KAV_NOEXCEPT;
/** dsAppendWithDelimiter with a line feed as delimiter. */
KAV_API int KAV_CALL dsAppend(dsList *list, const char *text) KAV_NOEXCEPT;
/** Formats with the C library's printf rules, cuts the text at 255 characters and adds it with
 * dsAppend (cdecl).  0 for a null list or format. */
KAV_API int KAV_CDECL dsAppendFormat(dsList *list, const char *format, ...) KAV_NOEXCEPT;
/** The whole text, owned by the list.  Unsorted: the text as appended, null when nothing was
 * (after a read the indexed line feeds are NULs, so it reads as its first line).  Sorted: the
 * strings joined in order, each with its line feed, in a buffer that the next call releases and
 * rebuilds (the one string itself when there is one); null when the list is empty or memory runs
 * out. */
KAV_API char *KAV_CALL dsGetBuffer(dsList *list) KAV_NOEXCEPT;
/** The number of indexed strings (the sorted strings, or the lines a read indexed); -1 for a
 * null list. */
KAV_API int KAV_CALL dsGetStringCount(const dsList *list) KAV_NOEXCEPT;
/** String number @p index, counted from 0, owned by the list (a sorted string ends with its line
 * feed); null when @p index is out of range or nothing is indexed. */
KAV_API char *KAV_CALL dsGetStringAtIndex(const dsList *list, int index) KAV_NOEXCEPT;
/** Searches from index @p start for a string equal to @p text on key number @p key (0 for an
 * ordinary search) whose earlier keys' texts equal @p text's byte for byte.  Returns its index
 * and sets *@p position to it; -1 when there is none, with *@p position set to where @p text
 * would go (0 for a null or empty text and an empty or keyless list).  When a key after @p key
 * is in use, the result is the first string equal up to @p key and *@p position is not written.
 * @p position may be null. */
KAV_API int KAV_CALL dsFind(dsList *list, const char *text, int start, int key,
                            int *position) KAV_NOEXCEPT;
/** The index at which @p text would be inserted into a sorted list, searching from @p start on
 * key number @p key (dsAppend uses 0 and 0); 0 for an empty text or an empty or keyless list.
 * @p unused is not read: pass null. */
KAV_API int KAV_CALL dsFindSortedInsertIndex(dsList *list, const char *text, int start, int key,
                                             void *unused) KAV_NOEXCEPT;
/** Reads @p stream to its end and adds each line with delimiter 0, in pieces of at most 2047
 * characters (keep_line_ends 1 keeps the line feeds, else kav_fgets drops line ends).  An
 * unsorted list is then indexed: each line feed of its text becomes a NUL and count is the
 * number of lines that ended with one (so read it with keep_line_ends 1 to get its lines), and no
 * later append is accepted.  1; 0 when memory runs out or an argument is null. */
KAV_API int KAV_CALL dsReadFromFileStream(dsList *list, FILE *stream) KAV_NOEXCEPT;
/** Opens @p path, reads it as dsReadFromFileStream does and closes it; 1, or 0 when the file
 * does not open or the read fails. */
KAV_API int KAV_CALL dsReadFromFile(dsList *list, const char *path) KAV_NOEXCEPT;
/** dsReadFromFileStream on standard input. */
KAV_API int KAV_CALL dsReadFromStdIn(dsList *list) KAV_NOEXCEPT;
/** Releases the list's text and strings and sets count to 0; the mode, the sort keys and
 * keep_line_ends stay, so the list can be filled again.  The record itself is the caller's. */
KAV_API void KAV_CALL dsFree(dsList *list) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup arraylist Array list
 * A growable array of items addressed by position (from 0).  An item holds either a value that
 * stays the caller's (IArrayListAdd; owned 0) or the list's own malloc'ed copy of a block of
 * bytes (IArrayListAddAsCopy; owned 1), which is released with the item.  The array starts with
 * 500 slots and grows by 500; it shrinks only when the list is destroyed.  When memory runs out
 * an add changes nothing (capacity included).  Note the result senses: IArrayListAdd returns the
 * new item, IArrayListAddAsCopy the copy's address, and IArrayListAddAll 0 for success and 1 for
 * failure.  No state is shared between lists; one list is used by one thread at a time.
 * @{ */

/** A sort comparator (C calling convention): @p slot1 and @p slot2 are the addresses of two
 * slots, that is pointers to IArrayListItem pointers; returns negative, 0 or positive. */
typedef int (*kav_arraylist_compare)(const void *slot1, const void *slot2);

/** One item, its own heap block; comparators read it through its slot. */
typedef struct IArrayListItem {
  int owned;         /**< 1: data is the list's copy; 0: the caller's value */
  unsigned int size; /**< bytes in the copy, 0 for values */
  kav_word data;     /**< the value, or the copy's address (null if empty) */
} IArrayListItem;

/** An array list, from IArrayListInit. */
typedef struct IArrayList {
  unsigned int capacity;  /**< slots in items */
  unsigned int count;     /**< items in slots 0 to count - 1 */
  IArrayListItem **items; /**< the slots; null from count on */
} IArrayList;

/** A new, empty, malloc'ed list of 500 slots, or null when memory runs out.  Release it with
 * IArrayListDestroy. */
KAV_API IArrayList *KAV_CALL IArrayListInit(void) KAV_NOEXCEPT;
/** Releases every item (and the copies they own), the slots and the list.  Null is ignored. */
KAV_API void KAV_CALL IArrayListDestroy(IArrayList *list) KAV_NOEXCEPT;
/** Appends an item holding @p value, which stays the caller's; returns the item, or null for a
 * null list or when memory runs out. */
KAV_API IArrayListItem *KAV_CALL IArrayListAdd(IArrayList *list, kav_word value) KAV_NOEXCEPT;
/** Appends an item owning a copy of the @p size bytes at @p data, released with the item, and
 * returns the copy's address.  Null for a null list or when memory runs out (nothing added), and
 * also when @p data is null or @p size is 0: an item with an empty copy is added all the
 * same. */
KAV_API void *KAV_CALL IArrayListAddAsCopy(IArrayList *list, const void *data,
                                           unsigned int size) KAV_NOEXCEPT;
/** Appends the items of @p source to @p destination in order: owned copies are copied again,
 * values shared.  0 on success; 1 for a null list or at the first add that gives null (also at
 * an owned item with an empty copy, after adding it), keeping the items added so far. */
KAV_API int KAV_CALL IArrayListAddAll(IArrayList *destination,
                                      const IArrayList *source) KAV_NOEXCEPT;
/** The data of item @p position: the value, or the copy's address (null for an empty copy);
 * 0 when @p position is not below the count or the list is null. */
KAV_API kav_word KAV_CALL IArrayListGetPos(const IArrayList *list,
                                           unsigned int position) KAV_NOEXCEPT;
/** Removes item @p position, releasing a copy it owns; the later items move down by one.
 * Nothing happens for a position not below the count or a null list. */
KAV_API void KAV_CALL IArrayListDeletePos(IArrayList *list, unsigned int position) KAV_NOEXCEPT;
/** Removes every item; the capacity stays.  A null list is ignored. */
KAV_API void KAV_CALL IArrayListDeleteAll(IArrayList *list) KAV_NOEXCEPT;
/** Sorts the items in place with qsort and @p compare; the order of equal items is not defined.
 * A null list or comparator sorts nothing. */
KAV_API void KAV_CALL IArrayListSort(IArrayList *list, kav_arraylist_compare compare) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup environment Environment and instances
 * The library's own variables: an overlay of `NAME=value` strings that a program sets for
 * itself without changing the process environment and that kav_getenv consults first (names
 * compare case-sensitively); `$NAME` expansion with a per-instance base directory; and the
 * reverse step from a path to `$NAME`.  The overlay and the instance number are process-wide and
 * unlocked: callers serialise their calls into this family (instance2path keeps
 * nothing and is reentrant).
 * @{ */

/** The value of the variable @p name from the overlay, else from the process environment
 * (getenv); null when it is unset or @p name is null.  The value is lent: an overlay value lives
 * until kav_clearenv, a process one until the process environment changes. */
KAV_API char *KAV_CALL kav_getenv(const char *name) KAV_NOEXCEPT;
/** Sets a variable in the overlay.  @p entry is a malloc'ed `NAME=value` string that passes to
 * the library (kav_clearenv frees it; do not free or change it); it replaces an entry of the
 * same name, whose string is not freed.  The process environment is not changed.  0; -1 when
 * @p entry is null or has no `=`, or the overlay cannot grow (@p entry then stays the
 * caller's). */
KAV_API int KAV_CALL kav_putenv(char *entry) KAV_NOEXCEPT;
/** Frees every overlay entry and empties the overlay; returns 0. */
KAV_API int KAV_CALL kav_clearenv(void) KAV_NOEXCEPT;
/** Expands the `$NAME` references of @p text in place (@p size bytes) and returns @p text.  NAME
 * is the run of letters, digits and `_` after the `$` (at most 63); its value comes from
 * kav_getenv, an unset one expands to nothing, and values are not expanded again.  In a value,
 * `$QELINSTANCE_BASE` is replaced by the current instance's base directory (instance2path of the
 * instance number and INSTANCE2BASE) when there is one.  The result is cut at @p size - 1
 * characters; @p text stays as it was when memory runs out. */
KAV_API char *KAV_CALL fill_env_vars(char *text, int size) KAV_NOEXCEPT;
/** Sets the process-wide instance number that fill_env_vars uses (initially -1: none). */
KAV_API void KAV_CALL fill_env_vars_set_instance(int instance) KAV_NOEXCEPT;
/** The base directory of instance @p instance (from 0) in @p list, directories separated by single
 * spaces.  It is the word after the list's @p instance-th space, or the last word when the list is
 * shorter, cut at 1023 characters.  A malloc'ed string (release it with free); null for a negative
 * instance, a null or empty list, or when memory runs out. */
KAV_API char *KAV_CALL instance2path(int instance, const char *list) KAV_NOEXCEPT;
/** Replaces the first @p token in every overlay entry and every process environment entry that
 * holds it by instance2path(@p instance, @p list).  Changes the process environment.  Nothing
 * happens when there is no such path or @p token is null or empty. */
KAV_API void KAV_CALL instance2env(int instance, const char *list, const char *token) KAV_NOEXCEPT;
/** Rewrites @p path in place as `$NAME` followed by the rest of it.  NAME is the variable
 * (overlay first, then the process environment; PWD and OLDPWD excluded) whose value is the
 * longest beginning of @p path that ends before a separator (@p mode 0: a directory) or before a
 * `.` (other modes: a file name), or is the whole path; on a tie a later name beginning with
 * "QEL" wins.  Nothing changes when no value fits.  @p path needs 1024 bytes; the result is cut
 * at 1023 characters. */
KAV_API void KAV_CALL str2env(char *path, int mode) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup profile_location Profiles: version and location
 * Where the profile INI files live, and the version they belong to.  They live per product
 * version in `<folder>/KAV/VELTRA/<major>.<minor>.<build>/` under the per-user and the common
 * application-data folders (on POSIX `$XDG_CONFIG_HOME` or
 * `~/.config`, and the first directory of `$XDG_CONFIG_DIRS` or `/etc/xdg`); the old,
 * version-less place is the Windows directory (on POSIX `$SYSTEMROOT` or `/etc`).  The version is
 * read once from the file "version" in the working directory (major, minor and build on three
 * lines) or is 4.93.0.  Paths use the platform's separator (`\` on Windows, `/` on POSIX).
 *
 * Every result lives in a process-wide buffer that is filled on first use and then kept (only
 * QelGetDisplayVersion rewrites its buffer on each call); never free or change them.  Callers on
 * several threads serialise the first use; afterwards the buffers are only read.
 * @{ */

/** Location selector 0: the Windows directory, the old version-less place.  Reads look there;
 * writes of a bare name go to the common file, as for every location but #KAV_LOCATION_USER. */
#define KAV_LOCATION_WINDOWS 0
/** Location selector 1: the common (machine-wide) profile directory. */
#define KAV_LOCATION_COMMON 1
/** Location selector 2: the per-user profile directory, for reads and writes. */
#define KAV_LOCATION_USER 2
/** Location selector 5, for reads: the per-user file, then the common one, key by key; the
 * usual choice of a program reading its settings. */
#define KAV_LOCATION_SEARCH 5

/** The version's major number as a string ("4" by default), at most 7 characters. */
KAV_API const char *KAV_CALL QelGetVerMajor(void) KAV_NOEXCEPT;
/** The version's minor number as a string ("93" by default), at most 7 characters. */
KAV_API const char *KAV_CALL QelGetVerMinor(void) KAV_NOEXCEPT;
/** The version's build number as a string ("0" by default), at most 7 characters. */
KAV_API const char *KAV_CALL QelGetVerBuild(void) KAV_NOEXCEPT;
/** The major and minor numbers joined by a dot ("4.93"). */
KAV_API char *KAV_CALL QelGetDisplayVersion(void) KAV_NOEXCEPT;
/** Appends a separator and the version to the name in @p id, in place ("VELTRA" becomes
 * `VELTRA\4.93.0`, with `/` on POSIX), and returns @p id; null, with nothing changed, when
 * @p id is null or empty.  @p id needs room for 24 more bytes. */
KAV_API char *KAV_CALL QelFormatProfileID(char *id) KAV_NOEXCEPT;
/** Writes a profile ID into @p buf (@p size bytes, cut there) and returns @p buf: the running
 * program's file name without its last extension when @p mode is 1 or more, else "VELTRA",
 * followed by a separator and the version.  Null when @p buf is null, @p size is not positive, or
 * the program's name cannot be had. */
KAV_API char *KAV_CALL QelGetAppProfileID(char *buf, int size, int mode) KAV_NOEXCEPT;
/** The per-user profile directory `<folder>/KAV/VELTRA/<version>/` (on Windows the folder in its
 * short form), ending with a separator.  Empty, never null, when the folder cannot be had; the
 * next call then asks again.  The directory is not created here. */
KAV_API char *KAV_CALL QelGetUsersAppDataPath(void) KAV_NOEXCEPT;
/** The common profile directory, as QelGetUsersAppDataPath gives the per-user one. */
KAV_API char *KAV_CALL QelGetCommonAppDataPath(void) KAV_NOEXCEPT;
/** The Windows directory with a trailing separator (the value of SYSTEMROOT when the system
 * cannot name it); empty when unknown.  The exported name is spelled "Stroage". */
KAV_API char *KAV_CALL QelGetSystemStroagePath(void) KAV_NOEXCEPT;
/** The directory of @p location: #KAV_LOCATION_WINDOWS (0) QelGetSystemStroagePath,
 * #KAV_LOCATION_COMMON (1) QelGetCommonAppDataPath, #KAV_LOCATION_USER (2)
 * QelGetUsersAppDataPath; null for any other value, #KAV_LOCATION_SEARCH (5) included. */
KAV_API char *KAV_CALL QelGetINIPath(int location) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup profile_access Profiles: reads and writes
 * Wrappers of the system's private-profile (INI) functions; on POSIX the library's own engine
 * gives the same results.  @p file is an INI file's bare name, resolved in a location's profile
 * directory, or a path: for reads a name holding the platform's separator, used as it stands;
 * for writes a name holding `/` or `\`, made absolute against the working directory.
 *
 * Reads with #KAV_LOCATION_SEARCH try the per-user file, then the common one, and the first file
 * holding the entry answers; files missing from a profile directory are skipped.  Writes go to
 * the common file, or to the per-user one for #KAV_LOCATION_USER and for the per-user programs
 * (TASMOR, BRELIND, CORVASET, DUNAVEL, ESKARO, FENWIRAL and GORDALIN, with or without ".INI", in
 * any case); the first write creates the directories and the file.  The system's rules hold: a null
 * value removes a key, a null key removes a section, and a read with a null key lists the
 * section's keys.  Safe on several threads once the location caches are filled.
 * @{ */

/** Reads @p key of @p section into @p out (@p len bytes, always NUL-terminated; key lists keep
 * their inner NULs).  1 when a file holds the key, even with an empty value.  0 when none does:
 * @p out then holds @p def cut to @p len - 1 characters, stays as it is when @p def is @p out
 * itself, or is zero-filled when @p def is null. */
KAV_API int KAV_CALL QelGetPrivateProfileString(const char *section, const char *key,
                                                const char *def, char *out, int len,
                                                const char *file, int location) KAV_NOEXCEPT;
/** Reads @p key of @p section as an integer; @p def when no file holds it (a stored 2147483647
 * also reads as missing). */
KAV_API int KAV_CALL QelGetPrivateProfileInt(const char *section, const char *key, int def,
                                             const char *file, int location) KAV_NOEXCEPT;
/** Reads the entries of @p section into @p out (@p size bytes) as NUL-separated `key=value`
 * strings ending with an empty one.  1 when a location holds the section, else 0; for a path,
 * the system's count of characters written. */
KAV_API int KAV_CALL QelGetPrivateProfileSection(const char *section, char *out, int size,
                                                 const char *file, int location) KAV_NOEXCEPT;
/** Reads the section names into @p out (@p size bytes), NUL-separated and ending with an empty
 * one.  Results as QelGetPrivateProfileSection. */
KAV_API int KAV_CALL QelGetPrivateProfileSectionNames(char *out, int size, const char *file,
                                                      int location) KAV_NOEXCEPT;
/** Reads the @p size bytes stored under @p key by QelWritePrivateProfileStruct into @p data.
 * 1 when a location holds them (with a valid checksum), else 0; for a path, the system's
 * result. */
KAV_API int KAV_CALL QelGetPrivateProfileStruct(const char *section, const char *key, void *data,
                                                int size, const char *file,
                                                int location) KAV_NOEXCEPT;
/** Writes @p value under @p key of @p section into the write target (QelGetDestConfigFile).  1
 * on success; 0 when the write fails or no target can be resolved. */
KAV_API int KAV_CALL QelWritePrivateProfileString(const char *section, const char *key,
                                                  const char *value, const char *file,
                                                  int location) KAV_NOEXCEPT;
/** Replaces the entries of @p section in the write target with @p text, NUL-separated
 * `key=value` strings ending with an empty one.  1 on success, else 0. */
KAV_API int KAV_CALL QelWritePrivateProfileSection(const char *section, const char *text,
                                                   const char *file, int location) KAV_NOEXCEPT;
/** Writes the @p size bytes at @p data under @p key, as hexadecimal digits with a checksum, into
 * the write target.  1 on success, else 0. */
KAV_API int KAV_CALL QelWritePrivateProfileStruct(const char *section, const char *key,
                                                  const void *data, int size, const char *file,
                                                  int location) KAV_NOEXCEPT;
/** Writes the directory of @p location followed by @p name into @p out (260 bytes; a longer
 * path is cut) and returns @p out; an unknown location gives the bare name.  Null when @p out
 * is null, or when the location is unknown and @p name null. */
KAV_API char *KAV_CALL QelGetINIPathAppend(int location, const char *name, char *out) KAV_NOEXCEPT;
/** Writes the write target of @p file for @p location into @p out (260 bytes), first creating
 * its directories and an empty file when it does not exist.  1, or 0 for a null @p out, a null
 * or empty @p file, or a path that has no absolute form. */
KAV_API int KAV_CALL QelGetDestConfigFile(char *out, const char *file, int location) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup profile_init Profiles: initialization and migration
 * Carrying a program's INI file forward from an earlier version's profile directory, moving or
 * conditionally writing single settings, and the numbered keys of the "Tools" section.  Where a
 * function takes @p common, non-zero means the common profile root and 0 the per-user one.
 * Update modes: 0 always write, 1 only when the key is missing, 2 only when it is present, any
 * other value never.  Output paths need 260 bytes.  QelFindToolKey and QelGetNextToolKey each
 * keep the key under examination in a process-wide buffer and are called from one thread at a
 * time; the other functions keep nothing of their own.
 * @{ */

/** Carries the INI file @p ini forward from an earlier version's profiles.  @p ini is a bare name,
 * or a path whose file name is taken.  The file is copied from the first earlier version's common
 * profile that holds it (else from the Windows directory) into the common directory, and, when an
 * earlier common one was found, from an earlier per-user profile into the per-user directory, where
 * the "Environment" keys QELTMP, LOGFILE and TREVANE are then removed.  Directories are created;
 * existing files are never overwritten, so it may run at every start.  1 when a source was found
 * (whether or not a copy was made), else 0. */
KAV_API int KAV_CALL QelInitializeProfile(const char *ini) KAV_NOEXCEPT;
/** Looks for @p name in the first version directory, in the order the system lists them, that
 * is earlier than the version @p major, @p minor, @p build (unsorted; no other directory is
 * tried).  1 with its path in
 * @p out, else 0. */
KAV_API int KAV_CALL QelFindPreviousProfile(char *out, const char *name, int major, int minor,
                                            int build, int common) KAV_NOEXCEPT;
/** Looks for @p name in the newest common version directory at or below the version @p major,
 * @p minor, @p build, counting every version number down (minor and build from 999).  1
 * with its path in @p out, else 0; when nothing exists that takes up to a million file checks per
 * major version. */
KAV_API int KAV_CALL QelFindPreviousProfile2(char *out, const char *name, int major, int minor,
                                             int build) KAV_NOEXCEPT;
/** 1 when @p name exists in the profile directory of the version @p major, @p minor, @p build,
 * else 0 (also for a null or empty name). */
KAV_API int KAV_CALL QelCheckProfileExists(const char *name, int major, int minor, int build,
                                           int common) KAV_NOEXCEPT;
/** Writes @p key of @p section from @p source_file into @p dest_file (both paths, used as they
 * stand) when @p mode allows it, judging by the key's presence in @p dest_file.  The value is
 * the source's, else @p def, else the empty string.  1 when written; 0 when the mode forbids it,
 * an argument is null or empty, or the write fails. */
KAV_API int KAV_CALL QelProfileSettingMigrate(const char *section, const char *key, const char *def,
                                              const char *source_file, const char *dest_file,
                                              int mode) KAV_NOEXCEPT;
/** Writes @p value (null removes the key) with QelWritePrivateProfileString when @p mode allows
 * it, judging by the key's presence as QelGetPrivateProfileString sees it.  The write's result,
 * or 0 when nothing was written or section, key or file is null or empty. */
KAV_API int KAV_CALL QelProfileSettingUpdate(const char *section, const char *key,
                                             const char *value, const char *file, int mode,
                                             int location) KAV_NOEXCEPT;
/** Finds the first key of the "Tools" section whose value contains @p text (case-sensitive) and
 * copies its name into @p out (1024 bytes).  1, or 0 when no value does or an argument is null
 * or empty. */
KAV_API int KAV_CALL QelFindToolKey(char *out, const char *text, const char *file,
                                    int location) KAV_NOEXCEPT;
/** The next free tool number, one more than the largest numeric key of the "Tools" section (1
 * when there is none), also written into @p out as decimal text (12 bytes).  -1 for a null
 * @p out or a null or empty @p file. */
KAV_API int KAV_CALL QelGetNextToolKey(char *out, const char *file, int location) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup cfstore Configuration file store
 * Section/key files (`[section]` headers, `key=value` lines, `;` comments) read whole into one
 * process-wide cache.  A null or empty section means "Site".  The first occurrence of a key in a
 * section wins; names and keys compare case-sensitively and are taken as they stand, apart from
 * the outer spaces of a section name.  Values point into the cache and stay valid until a query
 * names another file or cfs_free empties it; queries on the cached file do not read it again.  A
 * missing file, or a line without `=` in a section, makes every query on that file return its
 * default.  Not thread-safe: callers serialise.
 * @{ */

/** The value of @p key in @p section of the configuration file @p file, pointing into the
 * cache; @p def when there is none, the file cannot be read, or @p file or @p key is null or
 * empty. */
KAV_API const char *KAV_CALL get_cfsvalue_def(const char *file, const char *section,
                                              const char *key, const char *def) KAV_NOEXCEPT;
/** get_cfsvalue_def with a null default. */
KAV_API const char *KAV_CALL get_cfsvalue(const char *file, const char *section,
                                          const char *key) KAV_NOEXCEPT;
/** The value read as a decimal integer (atoi), or @p def when there is none. */
KAV_API int KAV_CALL get_cfsvalue_int(const char *file, const char *section, const char *key,
                                      int def) KAV_NOEXCEPT;
/** Empties the cache: every value returned before becomes invalid, and the next query reads its
 * file again. */
KAV_API void KAV_CALL cfs_free(void) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup files Files and directories
 * Small file and directory chores.  Result senses differ by function: 0 success and 1 failure
 * for copy_file, copy_dir, parent_dir, append_file and create_file_from_chunk; 1 success and 0
 * failure for recursive_unlink; 0 for "not available" from getfilesize, getfiletype and
 * get_check_sum.  Paths are classified with both `/` and `\` and built with the platform's
 * separator.  Offsets are 32-bit; the chunk functions take an end offset, not a length.  Nothing
 * is logged.  No state is kept: calls on different paths are independent.
 * @{ */

/** The traverse_tree visitor (C calling convention), given the directory and pattern walked,
 * the visitor itself (to walk a subdirectory the same way: cast it back to kav_tree_visitor),
 * the caller's context, the entry's name and 1 for a directory.  Non-zero stops the walk and
 * becomes traverse_tree's result. */
typedef int (*kav_tree_visitor)(const char *directory, const char *pattern, void (*visitor)(void),
                                void *context, const char *name, int is_directory);

/** Compares the full forms (make_fullpath) of @p a and @p b without regard to ASCII case:
 * negative, 0 or positive, as _stricmp orders them.  No `.` or `..` is resolved. */
KAV_API int KAV_CALL compare_path(const char *a, const char *b) KAV_NOEXCEPT;
/** Writes the full form of @p path into @p out: @p path itself when is_fullpath says it is
 * full, else the working directory, a separator and @p path; then one trailing separator is
 * dropped.  @p out needs room for a working directory of up to 255 characters, a separator,
 * @p path and the NUL; it is left empty when the working directory is unknown or longer. */
KAV_API void KAV_CALL make_fullpath(const char *path, char *out) KAV_NOEXCEPT;
/** 1 when @p path begins with `/` or `\` or has `:` as its second character (on POSIX too),
 * else 0 (also for a null or empty path). */
KAV_API int KAV_CALL is_fullpath(const char *path) KAV_NOEXCEPT;
/** Turns every separator of the other kind into the platform's, in place (`/` into `\` on
 * Windows, `\` into `/` on POSIX); returns 1. */
KAV_API int KAV_CALL fix_dir_slash(char *path) KAV_NOEXCEPT;
/** The characters that may not stand in a file name: `<`, `>`, `:`, `"`, `/`, `\`, `|` and the
 * line feed, in one static string that the caller must not change. */
KAV_API const char *KAV_CALL get_illegal_filename_chars(void) KAV_NOEXCEPT;
/** Removes the characters of get_illegal_filename_chars from @p name in place and returns
 * @p name (null for null). */
KAV_API char *KAV_CALL strip_illegal_filename_chars(char *name) KAV_NOEXCEPT;
/** The size in bytes of the file @p path; 2147483647 for 2 GiB or more; 0 when it cannot be had
 * or @p path is null or empty. */
KAV_API int KAV_CALL getfilesize(const char *path) KAV_NOEXCEPT;
/** The type of @p path: 1 a regular file, 2 a directory (a trailing separator is accepted), 3 a
 * character device; 0 for anything else, a missing file, and a null or empty path. */
KAV_API int KAV_CALL getfiletype(const char *path) KAV_NOEXCEPT;
/** Copies the regular file @p source to @p destination byte for byte.  The copy is written
 * beside the destination, flushed to disk and renamed over it only when complete, so a failure
 * leaves the old destination whole and no partial file.  A symbolic link named as @p source is
 * read through, as by get_check_sum and append_file.  0 once the copy is stored on disk under
 * its name; 1 when @p source is not a readable regular file or any write, flush, close or rename
 * fails (a full disk, the file-size limit). */
KAV_API int KAV_CALL copy_file(const char *source, const char *destination) KAV_NOEXCEPT;
/** Copies every file below the directory @p source to the same place below @p destination,
 * creating directories as needed and replacing existing files as copy_file does (directories
 * that hold no file are not created).  Symbolic links are made again as links, never followed;
 * FIFOs, sockets and devices are left out.  0 once every copied file is stored on disk, also
 * for a missing source; 1 at the first failure (each destination file is then old or new, whole),
 * for a directory that cannot be read, and when both name the same directory. */
KAV_API int KAV_CALL copy_dir(const char *source, const char *destination) KAV_NOEXCEPT;
/** Creates every missing directory of @p path before its last separator.  Only the platform's
 * separator splits the path; the last component is not created, nor a first component without a
 * separator before it (a drive, the first name of a relative path), nor a network path's server and
 * share.  0; 1 when a directory cannot be created. */
KAV_API int KAV_CALL parent_dir(const char *path) KAV_NOEXCEPT;
/** Creates every directory along @p path, the last component included, split at both `/` and
 * `\`, ignoring failures (existing directories, drives, missing rights).  Returns 1. */
KAV_API int KAV_CALL mkdir_fullpath(const char *path) KAV_NOEXCEPT;
/** Removes the file or directory tree @p path.  Entries whose names begin with `.`, and on
 * Windows entries with the system attribute, are kept, and so then is their directory.  A
 * symbolic link (or a Windows reparse point) is removed as a link and never followed, also when
 * named with a trailing separator; on POSIX the tree is walked by directory descriptors.  1 on
 * success and when @p path does not exist; 0 on failure, including a path whose status cannot be
 * queried. */
KAV_API int KAV_CALL recursive_unlink(const char *path) KAV_NOEXCEPT;
/** The archive checksum of the file @p path.  For each byte, in 4096-byte blocks each taken from
 * its last byte to its first, the sum is rotated left by one bit and exclusive-ored with the
 * byte sign-extended.  Never 0 for a file that opens (a sum of 0 gives 1); 0 when it does not. */
KAV_API unsigned int KAV_CALL get_check_sum(const char *path) KAV_NOEXCEPT;
/** Appends the whole regular file @p source to @p destination, which is created when missing,
 * and flushes it to disk.  0; 1 when either file does not open or a write fails, and then the
 * destination is cut back to its old length (or removed if this call created it). */
KAV_API int KAV_CALL append_file(const char *source, const char *destination) KAV_NOEXCEPT;
/** Copies the bytes of @p in from offset @p start up to, not including, @p end to @p out at its
 * current position, then puts @p in back where it was.  Neither stream is flushed or closed.
 * 0; 1 when the range could not be copied whole (a seek or read fails, or @p out refuses a
 * byte); an end past the input's end is no failure.  Null streams do nothing and give 0. */
KAV_API int KAV_CALL append_file_chunk(FILE *in, int start, int end, FILE *out) KAV_NOEXCEPT;
/** As append_file_chunk, then writes the marker `"formfeed()\n"` to @p out (also after an empty
 * range or a failed copy).  0; 1 as append_file_chunk, or when the marker is refused. */
KAV_API int KAV_CALL append_file_chunk_with_formfeed(FILE *in, int start, int end,
                                                     FILE *out) KAV_NOEXCEPT;
/** Makes @p path hold exactly the range of @p in (as append_file_chunk reads it), written
 * beside it and renamed over it when complete, as copy_file does.  0; 1 when the file cannot be
 * written whole; the old file then stays as it was. */
KAV_API int KAV_CALL create_file_from_chunk(FILE *in, int start, int end,
                                            const char *path) KAV_NOEXCEPT;
/** Calls @p visitor with @p context for each entry of @p directory that matches @p pattern
 * (null: every entry).  Entries come in the system's order, without `.` and `..`, one level
 * deep: a visitor descends by calling traverse_tree itself.  The directory is listed before the
 * first call, so a visitor may change it.  Returns the first non-zero visitor result, which stops
 * the walk; 0 when the walk ends or the directory cannot be searched. */
KAV_API int KAV_CALL traverse_tree(const char *directory, const char *pattern,
                                   kav_tree_visitor visitor, void *context) KAV_NOEXCEPT;
/** Renames the entry of @p directory whose path (@p directory, a separator and its name)
 * differs from @p wanted only in ASCII letter case to @p wanted; nothing is renamed when
 * @p wanted exists.  1 when the rename fails, else 0 (also when nothing matched). */
KAV_API int KAV_CALL fix_filename_case(const char *wanted, const char *directory) KAV_NOEXCEPT;

/** @} */

/** @defgroup process Process launching
 * Start another program from a command line, optionally with its standard input, output and
 * error taken from files, and optionally wait for it.  The command line is the program and its
 * arguments as Windows parses them: the first word names the program, found as given when it
 * holds a separator, else through the search path (on POSIX: `PATH`, and no shell runs); the
 * buffer may be changed during the call.  Wait modes: 0 no wait; 1 wait until the program is
 * idle for input (a console program, and every program on POSIX, counts as idle once started);
 * 2 wait for its end and return its exit code (on POSIX 128 plus the signal number for a program
 * killed by a signal); 3 no wait, and no handles inherited when no file is named; 4 as 1 with
 * the inheritance rule of 3; any other value as 0.  Redirection files are created when missing
 * and never truncated; output and error are appended to, and one name given for both opens one
 * file.  A file that does not open leaves its stream unusable in the program; opening never
 * waits (on POSIX a FIFO without its reader or writer is a file that does not open).  A program
 * that is not waited for runs on by itself and never stays a zombie; no signal disposition of the
 * caller is touched, and on POSIX mode 2 gets the exit code whatever the caller does with
 * SIGCHLD (the program is started and waited for by an intermediate process).  No state is kept:
 * the functions may be called from several threads, and each waits only on its own program.
 * @{ */

/** Starts @p command_line with the show-window value @p show (0 hidden, 1 normal, 6 minimised;
 * meaningless on POSIX) and the wait mode @p wait_mode; @p input, @p output and @p error name
 * redirection files or are null.  0 when started (modes other than 2); the exit code in mode 2;
 * else the system's error code for the failed start (GetLastError on Windows, the errno that
 * exec met on POSIX, never 0): 87 (EINVAL on POSIX) for a null command line, E2BIG on POSIX for
 * one longer than 32,767 characters. */
KAV_API int KAV_CALL kav_winexec(char *command_line, unsigned short show, int wait_mode,
                                 const char *input, const char *output,
                                 const char *error) KAV_NOEXCEPT;
/** As kav_winexec, under the local account @p user after a logon with @p password (Windows:
 * LogonUserA; POSIX: the PAM service "kavutil", and the program runs with the user's uid, gid
 * and groups, which needs root, in a session of its own without the caller's controlling
 * terminal).  Modes 3 and 4 do not wait.  When the logon fails the line
 * "LogonUserError: " and the code (the system's or PAM's code) is printed on standard output,
 * nothing runs, and the result is -1. */
KAV_API int KAV_CALL kav_winexec_as_user(char *command_line, unsigned short show, int wait_mode,
                                         const char *input, const char *output, const char *error,
                                         const char *user, const char *password) KAV_NOEXCEPT;
/** Starts a console program: with @p show 0 hidden (no console window; on POSIX a session of its
 * own with no controlling terminal and its standard streams on the null device) and without
 * redirection; with any other @p show (outside 0 to 11 read as 1) in a console of its own (on
 * POSIX a session of its own), redirected as named when @p wait_mode is not 0.  Mode 2 waits for
 * the end but returns 0.  0 when started, else the system's error code. */
KAV_API int KAV_CALL kav_winexec_console(char *command_line, int show, int wait_mode,
                                         const char *input, const char *output,
                                         const char *error) KAV_NOEXCEPT;

/** @} */

/** @defgroup mapped Mapped buffers and disk space
 * A mapped buffer is a scratch area of a size the caller chooses, backed by a new temporary file
 * in the directory named by QELTMP (read with kav_getenv; at most 255 characters) and mapped
 * into memory, so that large intermediate data does not live in the heap.  Buffers are
 * independent of each other; the functions keep no state (on Windows the kernel module of the
 * free-space query is loaded once and kept).
 * @{ */

/** Size of MappedBuffer::file_name. */
#define KAV_MAPPED_NAME_SIZE 1024

/** A mapped buffer, allocated by CreateMappedBuffer and released by DeleteMappedBuffer. */
typedef struct MappedBuffer {
  char file_name[KAV_MAPPED_NAME_SIZE]; /**< the backing file; empty when none was named */
  void *file;    /**< the open backing file (a HANDLE; on POSIX the descriptor, above 2) */
  uint32_t size; /**< bytes in the file and the view */
  void *mapping; /**< the file-mapping object (null on POSIX, which has none) */
  void *view;    /**< the mapped bytes: read and write size bytes here */
} MappedBuffer;

/** Makes a buffer of @p size bytes: a new file in QELTMP whose name begins with
 * `~mmft_` and the thread's identifier and `_` (on POSIX created exclusively with mode 0600, its
 * blocks reserved, so a full disk fails here rather than at a later write), mapped shared for
 * reading and writing. The record, or null on any failure (no memory, QELTMP unset, empty or too
 * long, a size of 0, the file, mapping or view refused, a size beyond the file-size limit), and
 * then nothing is left behind. */
KAV_API MappedBuffer *KAV_CALL CreateMappedBuffer(uint32_t size) KAV_NOEXCEPT;
/** Unmaps the view, closes the handles, deletes the backing file and frees @p buffer; nothing
 * for null. */
KAV_API void KAV_CALL DeleteMappedBuffer(MappedBuffer *buffer) KAV_NOEXCEPT;
/** The free space, in units of 1048576 bytes, of the disk that holds @p path: all its free
 * space, not only what the caller may use.  Windows asks about the path's first three characters
 * (the drive's root); POSIX about the file system of the path or, when the path cannot be reached
 * (missing, through a file, too long, through a directory the caller may not search), of its
 * nearest existing parent, with results above 0xFFFFFFFE cut to that.  0xFFFFFFFF for a null or
 * empty path and on failure. */
KAV_API uint32_t KAV_CALL GetDiskFreeSpaceInMB(const char *path) KAV_NOEXCEPT;

/** @} */

/** @defgroup ghostscript Ghostscript location and the MySQL client
 * Ghostscript is only located, never loaded: KAVGetGhostScriptPath returns the directory that
 * holds its library, from the environment (KAV_GS, GS_DLL, read with kav_getenv), from the
 * installation entries that Ghostscript installers write (Windows: the registry's machine-wide
 * keys `Software\GPL Ghostscript\9.05` (a key per version) and its AFPL and "(KAV Edition)"
 * variants, value GS_DLL; POSIX: the same keys as sections of the registry file
 * /etc/kavutil/registry.ini, or the file KAV_REGISTRY names, and every `libgs.so.N` in the system's
 * library directories), or from a fixed place under the program files.  Of several versions of one
 * product the highest number wins.  The result buffer is process-wide and unlocked.
 *
 * The MySQL client library is loaded on demand: kav_mysql_load loads it (Windows:
 * "libmysql.dll"; POSIX: libmariadb.so.3, then libmysqlclient.so.24 and .21, or the library
 * KAV_MYSQL_CLIENT names) and sets the twenty mysql_api_ variables to its functions, which the
 * caller then calls.  The module handle and its use count are process-wide and unlocked: callers
 * on several threads serialise kav_mysql_load and kav_mysql_free.  The client's types are opaque
 * here; a program that also includes the client's own mysql.h includes it before this header.
 * @{ */

/** The calling convention of the MySQL client's functions (stdcall on 32-bit Windows). */
#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#define KAV_MYSQL_CALL __stdcall
#else
#define KAV_MYSQL_CALL
#endif

#if !defined(_mysql_h)
/** A connection of the MySQL client (opaque). */
typedef struct st_mysql MYSQL;
/** A result set of the MySQL client (opaque). */
typedef struct st_mysql_res MYSQL_RES;
/** A field description of the MySQL client (opaque). */
typedef struct st_mysql_field MYSQL_FIELD;
/** A row: one pointer per field, null for SQL NULL. */
typedef char **MYSQL_ROW;
#endif

/** mysql_init */
typedef MYSQL *(KAV_MYSQL_CALL *kav_mysql_init_fn)(MYSQL *mysql);
/** mysql_options */
typedef int(KAV_MYSQL_CALL *kav_mysql_options_fn)(MYSQL *mysql, int option, const void *arg);
/** mysql_escape_string */
typedef unsigned long(KAV_MYSQL_CALL *kav_mysql_escape_string_fn)(char *to, const char *from,
                                                                  unsigned long length);
/** mysql_fetch_fields */
typedef MYSQL_FIELD *(KAV_MYSQL_CALL *kav_mysql_fetch_fields_fn)(MYSQL_RES *result);
/** mysql_fetch_lengths */
typedef unsigned long *(KAV_MYSQL_CALL *kav_mysql_fetch_lengths_fn)(MYSQL_RES *result);
/** mysql_num_fields */
typedef unsigned int(KAV_MYSQL_CALL *kav_mysql_num_fields_fn)(MYSQL_RES *result);
/** mysql_fetch_row */
typedef MYSQL_ROW(KAV_MYSQL_CALL *kav_mysql_fetch_row_fn)(MYSQL_RES *result);
/** mysql_affected_rows */
typedef unsigned long long(KAV_MYSQL_CALL *kav_mysql_affected_rows_fn)(MYSQL *mysql);
/** mysql_insert_id */
typedef unsigned long long(KAV_MYSQL_CALL *kav_mysql_insert_id_fn)(MYSQL *mysql);
/** mysql_error */
typedef const char *(KAV_MYSQL_CALL *kav_mysql_error_fn)(MYSQL *mysql);
/** mysql_errno */
typedef unsigned int(KAV_MYSQL_CALL *kav_mysql_errno_fn)(MYSQL *mysql);
/** mysql_query */
typedef int(KAV_MYSQL_CALL *kav_mysql_query_fn)(MYSQL *mysql, const char *query);
/** mysql_real_connect */
typedef MYSQL *(KAV_MYSQL_CALL *kav_mysql_real_connect_fn)(MYSQL *mysql, const char *host,
                                                           const char *user, const char *password,
                                                           const char *database, unsigned int port,
                                                           const char *unix_socket,
                                                           unsigned long flags);
/** mysql_close */
typedef void(KAV_MYSQL_CALL *kav_mysql_close_fn)(MYSQL *mysql);
/** mysql_real_escape_string */
typedef unsigned long(KAV_MYSQL_CALL *kav_mysql_real_escape_string_fn)(MYSQL *mysql, char *to,
                                                                       const char *from,
                                                                       unsigned long length);
/** mysql_free_result */
typedef void(KAV_MYSQL_CALL *kav_mysql_free_result_fn)(MYSQL_RES *result);
/** mysql_autocommit */
typedef char(KAV_MYSQL_CALL *kav_mysql_autocommit_fn)(MYSQL *mysql, char mode);
/** mysql_commit */
typedef char(KAV_MYSQL_CALL *kav_mysql_commit_fn)(MYSQL *mysql);
/** mysql_rollback */
typedef char(KAV_MYSQL_CALL *kav_mysql_rollback_fn)(MYSQL *mysql);
/** mysql_store_result */
typedef MYSQL_RES *(KAV_MYSQL_CALL *kav_mysql_store_result_fn)(MYSQL *mysql);

/** The directory of the Ghostscript library.  With @p edition non-zero the product's own
 * edition: KAV_GS when set and not empty, else the "(KAV Edition)" GPL then AFPL installations,
 * else the fixed place (Windows: `gs\gskav\bin` under the program files, holding gsdll32.dll;
 * POSIX:
 * "$PROGRAMFILES/gs/gskav/bin", default /opt, holding libgs.so).  With 0 the general search:
 * GS_DLL when set (an empty value skips the GPL search), the GPL and AFPL installations, KAV_GS,
 * the AFPL "(KAV Edition)".  The result is an environment value or a 512-byte process-wide
 * buffer that the next search overwrites; it may be empty; null only when the edition search's
 * fixed place lacks the library. */
KAV_API char *KAV_CALL KAVGetGhostScriptPath(int edition) KAV_NOEXCEPT;
/** Loads the MySQL client on first use and adds one user.  1 when the library is loaded and all
 * twenty entry points are set; 0 when it cannot be loaded or lacks one of them (it is then left
 * unloaded and the use count is 0). */
KAV_API int KAV_CALL kav_mysql_load(void) KAV_NOEXCEPT;
/** Removes one user; the last one unloads the client, after which the mysql_api_ variables must
 * not be called.  A free without a load does nothing. */
KAV_API void KAV_CALL kav_mysql_free(void) KAV_NOEXCEPT;

KAV_DATA kav_mysql_init_fn mysql_api_init;                             /**< "mysql_init" */
KAV_DATA kav_mysql_options_fn mysql_api_options;                       /**< "mysql_options" */
KAV_DATA kav_mysql_escape_string_fn mysql_api_escape_string;           /**< "mysql_escape_string" */
KAV_DATA kav_mysql_fetch_fields_fn mysql_api_fetch_fields;             /**< "mysql_fetch_fields" */
KAV_DATA kav_mysql_fetch_lengths_fn mysql_api_fetch_lengths;           /**< "mysql_fetch_lengths" */
KAV_DATA kav_mysql_num_fields_fn mysql_api_num_fields;                 /**< "mysql_num_fields" */
KAV_DATA kav_mysql_fetch_row_fn mysql_api_fetch_row;                   /**< "mysql_fetch_row" */
KAV_DATA kav_mysql_affected_rows_fn mysql_api_affected_rows;           /**< "mysql_affected_rows" */
KAV_DATA kav_mysql_insert_id_fn mysql_api_insert_id;                   /**< "mysql_insert_id" */
KAV_DATA kav_mysql_error_fn mysql_api_error;                           /**< "mysql_error" */
KAV_DATA kav_mysql_errno_fn mysql_api_errno;                           /**< "mysql_errno" */
KAV_DATA kav_mysql_query_fn mysql_api_query;                           /**< "mysql_query" */
KAV_DATA kav_mysql_real_connect_fn mysql_api_real_connect;             /**< "mysql_real_connect" */
KAV_DATA kav_mysql_close_fn mysql_api_close;                           /**< "mysql_close" */
KAV_DATA kav_mysql_real_escape_string_fn mysql_api_real_escape_string; /**< its namesake */
KAV_DATA kav_mysql_free_result_fn mysql_api_free_result;               /**< "mysql_free_result" */
KAV_DATA kav_mysql_autocommit_fn mysql_api_autocommit;                 /**< "mysql_autocommit" */
KAV_DATA kav_mysql_commit_fn mysql_api_commit;                         /**< "mysql_commit" */
KAV_DATA kav_mysql_rollback_fn mysql_api_rollback;                     /**< "mysql_rollback" */
KAV_DATA kav_mysql_store_result_fn mysql_api_store_result;             /**< "mysql_store_result" */

/** @} */

/** @defgroup sheaf Colon record files
 * A sheaf is a text file of keyed records, one a line: fields separated by `:`, field 0 the
 * key, and a `|` in a field standing for a `:` of the value.  Lines of more than 1023
 * characters are read in pieces, each taken as a line of its own; a line of more than 16 fields
 * keeps the rest of the line, colons included, in field 15.  The record and the stream belong
 * to the caller; sheaf_quote's buffer is process-wide.
 * @{ */

/** Most fields of a record. */
#define SHEAF_MAX_FIELDS 16
/** Size of sheaf_record::line. */
#define SHEAF_LINE_SIZE 1024

/** The current record of a sheaf, filled by sheaf_first and sheaf_next. */
typedef struct sheaf_record {
  uint32_t count;                 /**< fields found in the current line; 0 when none */
  char *fields[SHEAF_MAX_FIELDS]; /**< into line; an empty string from count on */
  char line[SHEAF_LINE_SIZE];     /**< the current line, split in place */
} sheaf_record;

/** Opens the sheaf @p path for reading in byte mode (not inherited by child programs); the
 * stream, or null.  The open never waits: on POSIX a FIFO that no writer has open gives null. */
KAV_API FILE *KAV_CALL sheaf_open(const char *path) KAV_NOEXCEPT;
/** Closes @p stream: 0, or EOF on failure and for null. */
KAV_API int KAV_CALL sheaf_close(FILE *stream) KAV_NOEXCEPT;
/** Finds the first line of @p stream, from its start, whose key equals @p key (byte for byte,
 * followed by `:`) and splits it into @p record, whose fields stay valid until it is filled
 * again.  0 when found, the stream left after that line; 1 when not, with count 0 and every
 * field empty.  A null key is the empty key. */
KAV_API int KAV_CALL sheaf_first(const char *key, sheaf_record *record, FILE *stream) KAV_NOEXCEPT;
/** As sheaf_first, from the stream's current position: repeated calls visit every line with the
 * key in file order; 1 at the end of the file.  A call after the end finds lines appended since
 * (the stream is first sought to where it is). */
KAV_API int KAV_CALL sheaf_next(const char *key, sheaf_record *record, FILE *stream) KAV_NOEXCEPT;
/** @p value (its first 1023 characters) with every `:` replaced by `|`, in a 1024-byte
 * process-wide buffer that the next call overwrites; the empty string for null. */
KAV_API char *KAV_CALL sheaf_quote(const char *value) KAV_NOEXCEPT;

/** @} */

/** @defgroup serial Serial ports and the Windows version
 * Serial ports are opened by name and conditioned from a settings text in the syntax of
 * Windows' BuildCommDCB: "baud=9600 parity=E data=7 stop=2" (keywords baud, parity, data, stop,
 * to, xon, odsr, octs, dtr, rts, idsr) or "9600,e,7,2" (with an optional flow letter x or p), an
 * optional "COMn:" first.  Fields the text does not name keep the port's values; binary mode is
 * always on, and parity checking exactly when the parity is not none.  Handles are integers and
 * -1 is failure; the caller reads and writes a handle with the system's file calls.  On POSIX a
 * port is opened without becoming the controlling terminal, marked in use with an exclusive
 * lock, and its settings are applied as termios.  No state is kept.
 * @{ */

/** Opens the device @p device ("COM1", "/dev/ttyS0") for reading and writing and applies
 * @p settings with condition_tty.  The handle, or -1 when the device does not open or the
 * settings are refused (then nothing stays open). */
KAV_API int KAV_CALL tty_open(const char *device, const char *settings) KAV_NOEXCEPT;
/** Applies @p settings to the open port @p handle, then purges both directions.  0; -1 when the
 * text is refused (the port keeps its settings), a null text, or the port refuses the settings
 * (it then keeps what it reached). */
KAV_API int KAV_CALL condition_tty(int handle, const char *settings) KAV_NOEXCEPT;
/** Closes @p handle: 0, or -1 on failure and for -1. */
KAV_API int KAV_CALL tty_close(int handle) KAV_NOEXCEPT;
/** Writes the system's short name into @p name when it is not null, and its version numbers
 * through the pointers that are not null.  Windows: "32", "95", "98", "ME", "2K", "XP" (Home),
 * "XPP", "2K3", "Vista ", "2k8 ", "Windows 7 ", "2008 R2 ", "NT" or the empty string by platform
 * and version (some end in a blank; 9x versions other than those named and NT 6.2 and later
 * leave @p name as it was), the service-pack numbers 0xFFFFFFFF when the system gives no
 * extended record.  POSIX: the kernel's name ("Linux", at most 10 characters) and the first
 * three numbers of its release, service pack 0.0.  @p name needs 11 bytes; never more is
 * written.  1 on success; 0 when the system gives no version, and nothing is written. */
KAV_API int KAV_CALL kav_getwinver(char *name, uint32_t *major, uint32_t *minor, uint32_t *build,
                                   uint32_t *sp_major, uint32_t *sp_minor) KAV_NOEXCEPT;

/** @} */

/** @defgroup errlog Error log and console prompts
 * Every message goes to the redirect stream if one is set (the text alone); else a record of the
 * time stamp (`MM/DD/YYYY hh:mm:ss`), the log id and the text is appended to the file that the
 * variable LOGFILE names (read with kav_getenv), which is opened and closed for every record so
 * that several processes can share it; else, with LOGFILE unset or empty, the text is shown in
 * a message box "Log Error" over the calling thread's active window (Windows) or written to
 * standard error.  A LOGFILE that does not open loses the message silently: no function reports
 * a failure to write.  The log id and the redirect stream are process-wide and unlocked: callers
 * on several threads serialise kav_logerr_id and kav_logerr_redirect.  The variadic functions
 * are cdecl.
 * @{ */

/** Sets the log id that every log-file record carries (initially 0); returns 1. */
KAV_API int KAV_CALL kav_logerr_id(int id) KAV_NOEXCEPT;
/** Sends every message to @p stream from now on (the text alone: no time stamp, no id; the
 * stream is never flushed or closed), or ends the redirection when @p stream is null.  Returns
 * the stream set before, or null.  End the redirection before closing the stream. */
KAV_API FILE *KAV_CALL kav_logerr_redirect(FILE *stream) KAV_NOEXCEPT;
/** Formats @p format with printf rules (cut at 10238 characters), appends a line feed and logs
 * the text.  1; 0, with nothing logged, for a null @p format. */
KAV_API int KAV_CDECL kav_logerr(const char *format, ...) KAV_NOEXCEPT;
/** As kav_logerr, with `; errno=<number> "<strerror text>"` added after the message for the
 * value errno had when the call began. */
KAV_API int KAV_CDECL kav_logerrno(const char *format, ...) KAV_NOEXCEPT;
/** Logs @p text as it stands, without adding a line feed.  Returns 1 (also for a null @p text,
 * which logs nothing). */
KAV_API int KAV_CALL kav_logerr_write(const char *text) KAV_NOEXCEPT;
/** Formats @p format with a reduced printf of its own and logs the result as kav_logerr does; it
 * asks the user nothing.  Only `"%d"`, `"%u"` (each also with `l`), `"%c"`, `"%f"`, `"%s"` and
 * `"%%"` are supported, with flags, width and precision; the text is cut at 511 characters.  1; 0,
 * with nothing logged, for a null @p format. */
KAV_API int KAV_CDECL s_prompterr(const char *format, ...) KAV_NOEXCEPT;
/** Answers no at once: returns 0, shows nothing, reads nothing and takes no arguments. */
KAV_API int KAV_CDECL s_confirm(const char *format, ...) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup statusbar Console status bar
 * One progress line per process: the caption, a bar of `*` between brackets with the percentage
 * in its middle, and an estimate of the time left, redrawn in place with a carriage return at
 * most once per interval and finished with a full bar and " Done".  Call StatusBarInit, then
 * StatusBarUpdate as the work goes on, then StatusBarDone.  All return 0.  The settings and
 * times are process-wide and unlocked: one bar is driven by one thread.
 * @{ */

/** Starts a new bar on @p stream: a copy of @p caption (null: none), @p width characters
 * between the brackets (kept within 0 to 255), @p total the amount of work that makes 100 %,
 * and @p interval the least number of seconds between two drawings.  Draws nothing. */
KAV_API int KAV_CALL StatusBarInit(FILE *stream, const char *caption, int width, unsigned int total,
                                   int interval) KAV_NOEXCEPT;
/** Redraws the line for the amount @p current done (0 to total), unless the last drawing was
 * less than the interval ago; the first update after StatusBarInit always draws and starts the
 * clock.  The percentage shows for widths above 10, the time left once some work is done and
 * some time has passed.  A total of 0 draws a full bar. */
KAV_API int KAV_CALL StatusBarUpdate(unsigned int current) KAV_NOEXCEPT;
/** Draws the full bar, with "100%" in its middle for widths of 4 or more, followed by " Done"
 * and a line feed, and releases the caption copy. */
KAV_API int KAV_CALL StatusBarDone(void) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup micr Cheque output: the MICR E-13B line
 * The magnetic-ink code line of a cheque.  Reset the caller's record and install a layout
 * template with MICR_DecodeFormat_E13B, fill in the field texts, then build the line with
 * MICR_BuildLine_E13B.  Template characters: `$`, `a`, `e`, `o` and `t` are one position of the
 * amount, auxiliary on-us, external processing code, on-us and transit fields (a run of one
 * letter shows its field's text right-aligned, cut to the run); `A`, `B` and `C` the transit,
 * amount and on-us symbols; `D` or `-` the dash symbol; digits stand for themselves; anything
 * else is a blank.  All state is in the caller's record: calls on different records may run in
 * parallel.
 * @{ */

/** Bytes in each text field of MICR_Line_E13B: 1023 characters and the NUL. */
#define MICR_TEXT_SIZE 1024

/** The code line record, owned by the caller. */
typedef struct MICR_Line_E13B {
  char amount[MICR_TEXT_SIZE];    /**< template letter '$' */
  char on_us[MICR_TEXT_SIZE];     /**< template letter 'o' */
  int client_option;              /**< client programs' setting, default 1 */
  char transit[MICR_TEXT_SIZE];   /**< template letter 't' */
  char epc[MICR_TEXT_SIZE];       /**< template letter 'e' */
  char aux_on_us[MICR_TEXT_SIZE]; /**< template letter 'a' */
  char format[MICR_TEXT_SIZE];    /**< the layout template */
  char line[MICR_TEXT_SIZE];      /**< the built code line */
  double client_offsets[2];       /**< client programs' settings, default 0.0 */
  double client_sizes[7];         /**< client programs' settings block ... */
  int client_values[54];          /**< ... continued */
} MICR_Line_E13B;

/** Sets every field of @p record to its default: empty texts, the default template
 * (`"         CaaaaaaaaaaC AtttttttttAooooooooooooooooooC             "`) and the client
 * programs' settings.  0; 1 for a null record. */
KAV_API int KAV_CALL MICR_SetDefaults_E13B(MICR_Line_E13B *record) KAV_NOEXCEPT;
/** Resets @p record with MICR_SetDefaults_E13B, which clears field texts filled in before, and
 * installs @p format as its template (at most 1023 characters); a null or empty @p format keeps
 * the default template.  A null record is ignored. */
KAV_API void KAV_CALL MICR_DecodeFormat_E13B(const char *format,
                                             MICR_Line_E13B *record) KAV_NOEXCEPT;
/** Lays the field texts into the template, turns every position into a code of the caller's
 * MICR font and drops the leading blanks.  Returns the record's line, valid until the record
 * changes, or null for a null record.  @p symbols gives the codes of the transit, amount, on-us
 * and dash symbols and of a blank, in that order; null or empty means "ABCD " (ending with a
 * space), and a shorter string replaces only the codes it has. */
KAV_API char *KAV_CALL MICR_BuildLine_E13B(MICR_Line_E13B *record,
                                           const char *symbols) KAV_NOEXCEPT;
/** The check digit, 0 to 9, of a routing number from the first 8 characters of @p digits, with
 * the weights 3, 7, 1 (a character that is not a digit counts as 0); -1 when @p digits is null
 * or shorter than 8 characters. */
KAV_API int KAV_CALL MICR_CalculateChecksum(const char *digits) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup spell Cheque output: amounts in words
 * Whole amounts in upper-case English words, such as ONE THOUSAND TWO HUNDRED THIRTY FOUR:
 * single spaces, no hyphen, no AND.  spellno's result lives in one process-wide buffer of 256
 * bytes that its next call overwrites, so spellno is called from one thread at a time and its
 * result copied before the next call; spell_ones and spell_tens keep nothing.
 * @{ */

/** The words for @p number, in the process-wide buffer; "ZERO" for 0; null for a negative
 * number and for one above 2147483647. */
KAV_API const char *KAV_CALL spellno(long number) KAV_NOEXCEPT;
/** Copies the word of the digit character *@p digit into @p word (10 bytes, may be null) and
 * returns the digit's value.  The words are "ONE" to "NINE"; 0 and a character that is not a
 * digit give the empty word and the value 0. */
KAV_API int KAV_CALL spell_ones(const char *digit, char *word) KAV_NOEXCEPT;
/** Spells the two digit characters at @p digits into @p word (10 bytes, may be null).  When the
 * first is 1, it gives the teen word of the second ("TEN" to "NINETEEN") and the result 1;
 * otherwise the tens word of the first ("TWENTY" to "NINETY", empty for 0) and the result its
 * value. */
KAV_API int KAV_CALL spell_tens(const char *digits, char *word) KAV_NOEXCEPT;

/** @} */

/* ------------------------------------------------------------------------- */
/** @defgroup idtemplate Cheque output: identifier templates
 * Both functions edit the caller's identifier buffer in place and allocate nothing; the caller
 * makes the buffer large enough for every result the template can produce (prefixes, suffixes,
 * the zero-fill width, 12 bytes for a year step).  They keep no state.
 * @{ */

/** Runs the commands of the template @p tmpl over @p identifier, from left to right.  `T` trims and
 * squeezes blanks; `U` upper-cases; `S` keeps only ASCII letters, digits, `-` and `_`; `R` followed
 * by a character removes that character everywhere; `M` turns a month name into its number, 01 to
 * 12 (from the first three letters; an unknown name stays); `Y+` and `Y-` step a year of 1 to 4
 * digits, wrapping (99 to 00); `<` and `>` followed by a literal (double quotes optional; backslash
 * escapes, `\n` and `\r`) add it in front or at the end; `Z` zero-fills what `S` would keep to
 * @p width characters, keeping the rightmost ones when there are more; any other character does
 * nothing.  Nothing happens when an argument is null. */
KAV_API void KAV_CALL fill_with_id(char *tmpl, char *identifier, int width) KAV_NOEXCEPT;
/** Rounds the number at the end of @p identifier down (toward zero) to a multiple of @p step,
 * keeping its width with leading zeros ("INV000123" with 100 gives "INV000100").  Nothing changes
 * for a step of 0, an identifier without trailing digits, or a null one.  Returns 1. */
KAV_API int KAV_CALL round_down_id(char *identifier, int step) KAV_NOEXCEPT;

/** @} */

#ifdef __cplusplus
}
#endif

#endif /* KAVUTIL_H */
