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

/* @@FORMATTER@@ */

/* @@LIST_QUEUE@@ */

/* @@MAP@@ */

/* @@DSLIST@@ */

/* @@ARRAYLIST@@ */

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
