/* pclspool: spooler-side PCL job processor.
 *
 * The seven hooks a print spooler calls around every job, with the argument
 * and result types of their Win32 declarations: HANDLE is a pointer, DWORD an
 * unsigned 32-bit value, BOOL a signed 32-bit value. No Windows header
 * declares them, so this one does. */
#ifndef PCLSPOOL_PCLSPOOL_H
#define PCLSPOOL_PCLSPOOL_H

#include <stdint.h>

#if defined(_WIN32)
#define PCLSPOOL_CALL __stdcall
#if defined(PCLSPOOL_BUILDING)
#define PCLSPOOL_API __declspec(dllexport)
#else
#define PCLSPOOL_API __declspec(dllimport)
#endif
#else
#define PCLSPOOL_CALL
#define PCLSPOOL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void* PCLSPOOL_HANDLE;
typedef uint32_t PCLSPOOL_DWORD;
typedef int32_t PCLSPOOL_BOOL;

/* Starts a job: returns the job's context handle, or NULL when it cannot be
 * allocated. */
PCLSPOOL_API PCLSPOOL_HANDLE PCLSPOOL_CALL DrvSplStartDoc(PCLSPOOL_HANDLE hPrinter,
                                                          PCLSPOOL_DWORD JobId);
/* Passes one stream buffer on; the result is that of the underlying write.
 * When pcWritten is not NULL it receives the count written. */
PCLSPOOL_API PCLSPOOL_BOOL PCLSPOOL_CALL DrvSplWritePrinter(PCLSPOOL_HANDLE hDriver,
                                                            void* pBuf,
                                                            PCLSPOOL_DWORD cbBuf,
                                                            PCLSPOOL_DWORD* pcWritten);
PCLSPOOL_API PCLSPOOL_BOOL PCLSPOOL_CALL DrvSplStartPage(PCLSPOOL_HANDLE hDriver);
PCLSPOOL_API PCLSPOOL_BOOL PCLSPOOL_CALL DrvSplEndPage(PCLSPOOL_HANDLE hDriver);
PCLSPOOL_API void PCLSPOOL_CALL DrvSplEndDoc(PCLSPOOL_HANDLE hDriver);
PCLSPOOL_API void PCLSPOOL_CALL DrvSplClose(PCLSPOOL_HANDLE hDriver);
PCLSPOOL_API void PCLSPOOL_CALL DrvSplAbort(PCLSPOOL_HANDLE hDriver);

#ifdef __cplusplus
}
#endif

#endif
