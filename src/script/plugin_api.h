/* The calling contract of a plug-in library: a shared library shipped with a
 * setup that carries out the commands the script lists as plug-in commands.
 *
 * A plug-in exports one of two functions (C linkage, default calling
 * convention), looked up in this order:
 *
 *   "RunTimeExecuteW"  texts in UTF-16 (char16_t), null-terminated;
 *   "RunTimeExecute"   texts in 8-bit characters of the system code page
 *                      (Windows-1252), null-terminated.
 *
 * Arguments, in order:
 *   window    handle of the wizard page on screen, 0 when there is none;
 *   state     every script variable as one comma text: name, value, name,
 *             value, ... (items joined by ","; an item holding a blank, a
 *             comma, a double quote or a control character is written
 *             between double quotes with inner double quotes doubled);
 *   params    the command's parameter line as a comma text of items, as
 *             written in the script (variable references are not expanded:
 *             look their values up in the state text);
 *   progress  the engine's progress callback, see below;
 *   reserved  address of one byte that belongs to the plug-in: the engine
 *             neither sets nor reads it after the call;
 *   buffer    null on the first call, the result buffer on the second.
 *
 * Result protocol. The engine calls the export twice with the same texts:
 *   1. buffer == null: do the work and return the length of the result text
 *      in characters (code units, without the terminating null), or -1 for
 *      failure (no second call follows);
 *   2. buffer != null: the buffer holds at least (length + 1) characters;
 *      copy the result text there, null-terminated, and return its length.
 * The result text is a comma text of name, value pairs that the engine
 * writes into its variables (a last name without a value is ignored).
 * Returning the state text with some values changed is allowed; only the
 * variables whose value differs from the state text are written back.
 * A plug-in that does its work in the first call keeps the result until the
 * second one; a plug-in without state simply computes it twice.
 *
 * An empty result, or -1 from "RunTimeExecuteW", means failure: when the
 * script's ABORTONERROR is true the setup stops with "General setup failure".
 * -1 from "RunTimeExecute" leaves every variable as it was without failing.
 *
 * Progress. Call progress(percent, text) from the thread the engine called
 * you on, as often as you like. percent is 0 to 100 (-1 keeps the current
 * position), text is shown under the progress bar ("$IGNORE$" or null keeps
 * the current text). The callback returns 1 to go on and 0 once the user has
 * cancelled: stop soon and return. A plug-in that stops reporting progress
 * after a cancellation is abandoned by the engine after a few seconds.
 */
#ifndef KESTRAWL_SCRIPT_PLUGIN_API_H_
#define KESTRAWL_SCRIPT_PLUGIN_API_H_

#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The progress callback handed to "RunTimeExecuteW". */
typedef int32_t (*KestrawlPluginProgressW)(int32_t percent, const char16_t* text);
/* The progress callback handed to "RunTimeExecute". */
typedef int32_t (*KestrawlPluginProgressA)(int32_t percent, const char* text);

/* The export "RunTimeExecuteW". */
typedef int32_t (*KestrawlRunTimeExecuteW)(uintptr_t window, const char16_t* state,
                                          const char16_t* params,
                                          KestrawlPluginProgressW progress, uint8_t* reserved,
                                          char16_t* buffer);
/* The export "RunTimeExecute". */
typedef int32_t (*KestrawlRunTimeExecuteA)(uintptr_t window, const char* state, const char* params,
                                          KestrawlPluginProgressA progress, uint8_t* reserved,
                                          char* buffer);

/* Declarations a plug-in defines (export one of them). */
int32_t RunTimeExecuteW(uintptr_t window, const char16_t* state, const char16_t* params,
                        KestrawlPluginProgressW progress, uint8_t* reserved, char16_t* buffer);
int32_t RunTimeExecute(uintptr_t window, const char* state, const char* params,
                       KestrawlPluginProgressA progress, uint8_t* reserved, char* buffer);

/* The two export names. */
#define KESTRAWL_PLUGIN_EXPORT_W "RunTimeExecuteW"
#define KESTRAWL_PLUGIN_EXPORT_A "RunTimeExecute"

/* Progress callback results. */
#define KESTRAWL_PLUGIN_CONTINUE 1
#define KESTRAWL_PLUGIN_STOP 0

#ifdef __cplusplus
}
#endif

#endif /* KESTRAWL_SCRIPT_PLUGIN_API_H_ */
