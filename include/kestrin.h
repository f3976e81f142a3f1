/*
 * kestrin: flattens the form fields and annotations of PDF files into their page content.
 *
 * Every call is synchronous and complete in itself. Paths are NUL-terminated byte strings.
 * Failure is reported by the result -1 and a message that kestrin_last_error() returns.
 * Calls must not overlap: a multi-threaded host serialises them. On a large file a call may
 * use a second thread of its own; it has finished when the call returns.
 */
#ifndef KESTRIN_H
#define KESTRIN_H

#include <stdint.h>

#if defined(KESTRIN_BUILDING)
#define KESTRIN_API __attribute__((visibility("default")))
#else
#define KESTRIN_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Clears the error text; returns 1. Optional. */
KESTRIN_API int32_t kestrin_init(void);

/* Clears the error text. Optional. */
KESTRIN_API void kestrin_cleanup(void);

/* The current error text: never NULL, empty after a successful call. Owned by the library. */
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

#ifdef __cplusplus
}
#endif

#endif
