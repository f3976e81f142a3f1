/*
 * kestrin: flattens the form fields and annotations of PDF files into their page content.
 *
 * Every call is synchronous and complete in itself. Paths are NUL-terminated byte strings.
 * Failure is reported by the result -1 and a message that kestrin_last_error() returns.
 *
 * Threads: any number of threads may call any function at the same time, on the same or on
 * different files (writing the same output path from two threads at once is the caller's race).
 * The library keeps no state between calls except each thread's own error text: a thread sees
 * the message of its own last call only. On a large file a call may use a second thread of its
 * own; it has finished when the call returns.
 */
#ifndef KESTRIN_H
#define KESTRIN_H

#include <stddef.h>
#include <stdint.h>

#if defined(KESTRIN_BUILDING)
#define KESTRIN_API __attribute__((visibility("default")))
#else
#define KESTRIN_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Clears the calling thread's error text; returns 1. Optional. */
KESTRIN_API int32_t kestrin_init(void);

/* Clears the calling thread's error text. Optional. */
KESTRIN_API void kestrin_cleanup(void);

/* The calling thread's error text: never NULL, empty after a successful call. Owned by the library;
 * valid until the thread's next call. */
KESTRIN_API const char* kestrin_last_error(void);

/* Flatten form fields and annotations / form fields only / annotations only.
 * Write the result to output_path. 0 on success, -1 on failure. */
KESTRIN_API int32_t kestrin_all(const char* input_path, const char* output_path);
KESTRIN_API int32_t kestrin_forms(const char* input_path, const char* output_path);
KESTRIN_API int32_t kestrin_annotations(const char* input_path, const char* output_path);

/* Number of terminal form fields, 0 without a form, -1 when the file cannot be loaded. */
KESTRIN_API int32_t kestrin_field_count(const char* input_path);

/* Number of annotation references of all pages, -1 when the file cannot be loaded. */
KESTRIN_API int32_t kestrin_annotation_count(const char* input_path);

/* ---- Since 0.2.0 ------------------------------------------------------------------------- */

/* The library's version, "MAJOR.MINOR.PATCH". Static storage, never NULL. */
KESTRIN_API const char* kestrin_version(void);

/* What kestrin_flatten draws into the pages. */
#define KESTRIN_FLATTEN_ALL 0         /* form fields and annotations (kestrin_all) */
#define KESTRIN_FLATTEN_FORMS 1       /* form fields only (kestrin_forms) */
#define KESTRIN_FLATTEN_ANNOTATIONS 2 /* annotations other than fields only (kestrin_annotations) */

/* What print_only does with the annotations that would not print. */
#define KESTRIN_NON_PRINTING_REMOVE 0 /* removed, nothing drawn */
#define KESTRIN_NON_PRINTING_KEEP 1   /* kept as working annotations */

/*
 * The choices of one flatten call. The record is versioned by its size: set size to
 * sizeof(kestrin_options) (KESTRIN_OPTIONS_INIT or kestrin_options_init do it). Every field's
 * zero value is its default, and later versions only add fields at the end whose zero is their
 * default, so:
 *  - a record from an older caller (smaller size) gets the defaults for the fields it lacks;
 *  - a record larger than this library knows is refused unless the bytes it does not know are
 *    all zero (a newer caller asking for something this library cannot do gets an error, not a
 *    silent "no").
 * A NULL options pointer means all defaults, the choices of kestrin_all.
 * A field with a value outside its documented range is refused.
 */
typedef struct kestrin_options {
    uint32_t size;         /* sizeof(kestrin_options), at least 4 and at most 4096 */
    uint32_t flatten;      /* KESTRIN_FLATTEN_ALL (default), _FORMS or _ANNOTATIONS */
    uint32_t keep_links;   /* 1: Link annotations stay working annotations; 0 (default): flattened */
    uint32_t print_only;   /* 1: only annotations with the Print flag are flattened; 0 (default): all */
    uint32_t non_printing; /* with print_only: KESTRIN_NON_PRINTING_REMOVE (default) or _KEEP.
                              A non-printing form field widget is always removed with its form. */
    uint32_t no_generate_appearances; /* 1: never generate field appearances; 0 (default): a
                              flattened text or choice widget without an appearance, or any such
                              widget when the form sets NeedAppearances, is drawn from its value,
                              and a check box or radio button whose appearance lacks its state
                              from that state (off when the appearance lacks it). */
    uint32_t compact;      /* 1: a smaller output that renders the same: appearance streams keep
                              their compressed data (the page draws the appearance object itself
                              where it can serve as a form XObject) and the old page content stays
                              in its own streams, with small new streams around it; new streams
                              are deflated and input objects nothing in the output refers to are
                              left out. 0 (default): appearances and old content are decoded and
                              written plain. */
} kestrin_options;

#define KESTRIN_OPTIONS_INIT { (uint32_t)sizeof(kestrin_options), 0, 0, 0, 0, 0, 0 }

/* Sets size and every field to its default. Does nothing for NULL. */
KESTRIN_API void kestrin_options_init(kestrin_options* options);

/* Flattens input_path into output_path with the given choices (NULL: defaults). The output
 * replaces an existing file only when complete. 0 on success, -1 on failure. */
KESTRIN_API int32_t kestrin_flatten(const char* input_path, const char* output_path,
                                    const kestrin_options* options);

/*
 * Flattens the PDF in input[0..input_length) and returns the result in a buffer the library
 * allocates: *output points to *output_length bytes, to be released with kestrin_free. The input
 * is only read and may be released as soon as the call returns. input_length must be 1 to
 * 2^31 - 1 (2 GiB - 1); input must not be NULL. On failure *output is NULL and *output_length 0
 * (when those pointers are not NULL). 0 on success, -1 on failure.
 */
KESTRIN_API int32_t kestrin_flatten_memory(const void* input, size_t input_length, void** output,
                                           size_t* output_length, const kestrin_options* options);

/* kestrin_field_count and kestrin_annotation_count of a PDF in memory (same limits as
 * kestrin_flatten_memory). */
KESTRIN_API int32_t kestrin_field_count_memory(const void* input, size_t input_length);
KESTRIN_API int32_t kestrin_annotation_count_memory(const void* input, size_t input_length);

/* Releases a buffer the library returned. NULL does nothing. */
KESTRIN_API void kestrin_free(void* buffer);

#ifdef __cplusplus
}
#endif

#endif
