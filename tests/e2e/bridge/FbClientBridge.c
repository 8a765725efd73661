/* FbClientBridge - fbclient.dll for Windows programs under Wine: a Wine
 * built-in DLL (built with winegcc) whose entries take the Windows calling
 * convention and forward every call to the Linux Firebird client library,
 * so that a Windows program talks to a real Firebird server on this machine.
 *
 * What crosses unchanged: handles, status vectors, descriptor areas, SQL
 * texts and their results (both clients use the same layouts, and the
 * process has one address space). What the bridge translates:
 *   - the database path of a connection string ("host/port:C:\dir\db.fdb")
 *     and of a service request (isc_spb_dbname): Windows paths, in the
 *     system's code page, become the Linux paths the server opens, through
 *     Wine's own path conversion with links resolved (a path through
 *     "dosdevices/c:" would carry a colon the server takes for a host);
 *   - user names, passwords and role names of the attach blocks, from the
 *     system's code page to UTF-8;
 *   - the port of every connection string, to FBCLIENT_BRIDGE_PORT when that
 *     variable is set (the product always names its own server's port);
 *   - back, in the status vector of a failed call: every Linux path it gave
 *     the server is replaced by the Windows path the caller gave, so that a
 *     message quoting a database reads as it does on Windows.
 * The Linux client reads file names in the C library's character set; the
 * bridge hands it UTF-8 and so makes LC_CTYPE a UTF-8 one when it is not.
 */
#include <stdarg.h>
#include <ctype.h>
#include <langinfo.h>
#include <limits.h>
#include <locale.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>

/* The Linux client's own declarations: ibase.h gives its entries the
   Windows calling convention whenever a Windows target is defined. */
#pragma push_macro("_WIN32")
#pragma push_macro("WIN32")
#pragma push_macro("__WIN32__")
#undef _WIN32
#undef WIN32
#undef __WIN32__
#include <ibase.h>
#pragma pop_macro("__WIN32__")
#pragma pop_macro("WIN32")
#pragma pop_macro("_WIN32")

#include <windef.h>
#include <winbase.h>
#include <winnls.h>

/*--- Texts -----------------------------------------------------------------*/

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

/* The Length bytes at Text, NUL-terminated; free() it. */
static char *copy_bytes(const char *text, size_t length)
{
    char *out = malloc(length + 1);
    if (length) memcpy(out, text, length);
    out[length] = 0;
    return out;
}

/* A name the client takes with its length, or up to its NUL when the
   length is 0. */
static char *copy_name(const char *name, unsigned length)
{
    if (!name) return copy_bytes("", 0);
    return copy_bytes(name, length ? length : strlen(name));
}

/* Text in the system's code page as UTF-16; free() it. */
static WCHAR *wide_of(const char *text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    WCHAR *w = malloc((n ? n : 1) * sizeof(WCHAR));
    if (!n || !MultiByteToWideChar(CP_ACP, 0, text, -1, w, n)) w[0] = 0;
    return w;
}

/* Text in the system's code page as UTF-8; free() it. */
static char *utf8_of(const char *text)
{
    WCHAR *w = wide_of(text);
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, NULL, 0, NULL, NULL);
    char *out = malloc(n ? n : 1);
    if (!n || !WideCharToMultiByte(CP_UTF8, 0, w, -1, out, n, NULL, NULL)) out[0] = 0;
    free(w);
    return out;
}

/* The Linux client converts file names from the C library's character set;
   everything the bridge hands it is UTF-8. */
static void use_utf8_locale(void)
{
    static int done;
    pthread_mutex_lock(&lock);
    if (!done) {
        const char *set = nl_langinfo(CODESET);
        if (!set || strcmp(set, "UTF-8") != 0) setlocale(LC_CTYPE, "C.UTF-8");
        done = 1;
    }
    pthread_mutex_unlock(&lock);
}

/*--- Paths -----------------------------------------------------------------*/

/* Every path the bridge has translated: the Linux path the server got and
   the Windows path the caller gave (its bytes). Kept for the life of the
   process, so that the texts of a status vector can point into them. */
#define MAX_PATHS 256
static struct { char *linux_path; char *windows_path; } paths[MAX_PATHS];
static int path_count;

static void remember(const char *linux_path, const char *windows_path)
{
    int i;
    pthread_mutex_lock(&lock);
    for (i = 0; i < path_count; i++)
        if (!strcmp(paths[i].linux_path, linux_path) && !strcmp(paths[i].windows_path, windows_path)) break;
    if (i == path_count && path_count < MAX_PATHS) {
        paths[path_count].linux_path = strdup(linux_path);
        paths[path_count].windows_path = strdup(windows_path);
        path_count++;
    }
    pthread_mutex_unlock(&lock);
}

/* Path with the links of its longest existing leading part resolved; the
   rest (a file or folder not there yet) is kept as it is. */
static char *without_links(const char *path)
{
    char *copy = strdup(path), resolved[PATH_MAX], *cut = copy + strlen(copy);
    for (;;) {
        char saved = *cut, *out;
        *cut = 0;
        if (realpath(copy, resolved)) {
            *cut = saved;
            out = malloc(strlen(resolved) + strlen(cut) + 1);
            strcpy(out, resolved);
            strcat(out, cut);
            free(copy);
            return out;
        }
        *cut = saved;
        while (cut > copy && *--cut != '/') {}
        if (cut == copy) break;
    }
    free(copy);
    return strdup(path);
}

static int is_drive_path(const char *path)
{
    return isalpha((unsigned char)path[0]) && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

/* The Linux path of a Windows path in the system's code page; a text that
   is no drive path (an alias, a Linux path) stays as it is. free() it. */
static char *linux_path_of(const char *windows_path)
{
    WCHAR *w;
    char *unix_name, *out;
    if (!is_drive_path(windows_path)) return strdup(windows_path);
    w = wide_of(windows_path);
    unix_name = wine_get_unix_file_name(w);
    free(w);
    if (!unix_name) return strdup(windows_path);
    out = without_links(unix_name);
    HeapFree(GetProcessHeap(), 0, unix_name);
    remember(out, windows_path);
    return out;
}

/* "host[/port]:path" with the port replaced by FBCLIENT_BRIDGE_PORT when
   that is set, and the path made a Linux path when TranslatePath; a name
   without a host (a drive path, an alias) has only its path translated.
   free() it. */
static char *translate_connection(const char *name, int translate_path)
{
    const char *colon = strchr(name, ':');
    char port[16] = "", *path, *out;
    size_t host_length;
    WCHAR wport[16];
    DWORD port_length;

    if (!colon || (colon == name + 1 && isalpha((unsigned char)name[0])))
        return translate_path ? linux_path_of(name) : strdup(name);
    port_length = GetEnvironmentVariableW(L"FBCLIENT_BRIDGE_PORT", wport, 16);
    if (port_length > 0 && port_length < 16)
        WideCharToMultiByte(CP_ACP, 0, wport, -1, port, sizeof(port), NULL, NULL);
    host_length = colon - name;
    if (*port) {
        const char *slash = memchr(name, '/', host_length);
        if (slash) host_length = slash - name;
    }
    path = translate_path ? linux_path_of(colon + 1) : strdup(colon + 1);
    out = malloc(host_length + strlen(port) + strlen(path) + 3);
    memcpy(out, name, host_length);
    out[host_length] = 0;
    if (*port) {
        strcat(out, "/");
        strcat(out, port);
    }
    strcat(out, ":");
    strcat(out, path);
    free(path);
    return out;
}

/* Text with every Linux path the bridge gave the server replaced by the
   Windows path it came from; the text itself when it holds none. The result
   lives as long as the process (equal results are shared). */
static const char *with_windows_paths(const char *text)
{
    static char *results[MAX_PATHS];
    static int result_count;
    char *current = NULL;
    const char *out = text;
    int i;

    if (!text) return text;
    pthread_mutex_lock(&lock);
    for (i = 0; i < path_count; i++) {
        const char *from = paths[i].linux_path, *to = paths[i].windows_path, *source = current ? current : text, *at;
        size_t n = 0, from_length = strlen(from), to_length = strlen(to);
        char *replaced, *end;
        for (at = strstr(source, from); at; at = strstr(at + from_length, from)) n++;
        if (!n) continue;
        replaced = malloc(strlen(source) + n * to_length + 1);
        end = replaced;
        while ((at = strstr(source, from))) {
            memcpy(end, source, at - source);
            end += at - source;
            memcpy(end, to, to_length);
            end += to_length;
            source = at + from_length;
        }
        strcpy(end, source);
        free(current);
        current = replaced;
    }
    if (current) {
        for (i = 0; i < result_count && strcmp(results[i], current); i++) {}
        if (i < result_count) {
            out = results[i];
        } else if (result_count < MAX_PATHS) {
            out = results[result_count++] = current;
            current = NULL;
        }
    }
    free(current);
    pthread_mutex_unlock(&lock);
    return out;
}

/* The texts of a status vector with Windows paths in place of Linux ones. */
static void windows_paths_in(ISC_STATUS *status)
{
    int i = 0;
    if (!status) return;
    while (i < ISC_STATUS_LENGTH - 1 && status[i] != isc_arg_end) {
        switch (status[i]) {
        case isc_arg_string:
        case isc_arg_interpreted:
            status[i + 1] = (ISC_STATUS)with_windows_paths((const char *)status[i + 1]);
            i += 2;
            break;
        case isc_arg_cstring: {
            char *text = copy_bytes((const char *)status[i + 2], (size_t)status[i + 1]);
            const char *shown = with_windows_paths(text);
            if (shown != text) {
                status[i + 1] = (ISC_STATUS)strlen(shown);
                status[i + 2] = (ISC_STATUS)shown;
            }
            free(text);
            i += 3;
            break;
        }
        default: /* a code or a number, with its kind in front */
            i += 2;
            break;
        }
    }
}

static ISC_STATUS finish(ISC_STATUS *status, ISC_STATUS result)
{
    if (result) windows_paths_in(status);
    return result;
}

/*--- Parameter blocks ------------------------------------------------------*/

/* An attach block (a database's, version 1, or a service's, version 2):
   its user name, password and role name from the system's code page to
   UTF-8. A block holding anything else than these and other strings and
   small numbers of the same form is handed on as it is. *Length is updated;
   free() the result. */
static char *translate_attach_block(const char *block, int *length)
{
    char *out = malloc(*length * 4 + 2);
    int in = 1, n = 1;
    if (*length < 1 || (block[0] != isc_dpb_version1 && block[0] != isc_spb_current_version)) goto unchanged;
    out[0] = block[0];
    if (block[0] == isc_spb_current_version) {
        if (*length < 2 || block[1] != isc_spb_current_version) goto unchanged;
        out[n++] = block[in++];
    }
    while (in < *length) {
        unsigned char tag = block[in], size;
        if (in + 1 >= *length) goto unchanged;
        size = block[in + 1];
        if (in + 2 + size > *length) goto unchanged;
        if (tag == isc_dpb_user_name || tag == isc_dpb_password || tag == isc_dpb_sql_role_name) {
            char *text = copy_bytes(block + in + 2, size), *utf8 = utf8_of(text);
            size_t u = strlen(utf8);
            free(text);
            if (u > 255) {
                free(utf8);
                goto unchanged;
            }
            out[n++] = tag;
            out[n++] = (char)u;
            memcpy(out + n, utf8, u);
            n += u;
            free(utf8);
        } else if (block[0] == isc_dpb_version1) {
            memcpy(out + n, block + in, 2 + size);
            n += 2 + size;
        } else {
            goto unchanged; /* a service block also holds numbers without a length */
        }
        in += 2 + size;
    }
    *length = n;
    return out;
unchanged:
    memcpy(out, block, *length > 0 ? *length : 0);
    return out;
}

/* A service request: in a request on a database's properties, the
   database path (isc_spb_dbname) becomes a Linux path; any other request,
   or one with a part the bridge does not know, is handed on as it is.
   *Length is updated; free() the result. */
static char *translate_service_request(const char *request, int *length)
{
    int in = 1, n = 1, capacity = *length + 4 * PATH_MAX;
    char *out = malloc(capacity);
    if (*length < 1 || (unsigned char)request[0] != isc_action_svc_properties) goto unchanged;
    out[0] = request[0];
    while (in < *length) {
        unsigned char tag = request[in];
        switch (tag) {
        case isc_spb_dbname: {
            int size;
            char *windows_path, *linux_path;
            size_t l;
            if (in + 3 > *length) goto unchanged;
            size = (unsigned char)request[in + 1] | (unsigned char)request[in + 2] << 8;
            if (in + 3 + size > *length) goto unchanged;
            windows_path = copy_bytes(request + in + 3, size);
            linux_path = linux_path_of(windows_path);
            free(windows_path);
            l = strlen(linux_path);
            if (l > 65535 || n + 3 + (int)l + (*length - in) > capacity) {
                free(linux_path);
                goto unchanged;
            }
            out[n++] = tag;
            out[n++] = (char)(l & 0xFF);
            out[n++] = (char)(l >> 8);
            memcpy(out + n, linux_path, l);
            n += l;
            free(linux_path);
            in += 3 + size;
            break;
        }
        case isc_spb_options:
        case isc_spb_prp_page_buffers:
        case isc_spb_prp_sweep_interval:
        case isc_spb_prp_shutdown_db:
        case isc_spb_prp_deny_new_attachments:
        case isc_spb_prp_deny_new_transactions:
        case isc_spb_prp_set_sql_dialect:
        case isc_spb_prp_force_shutdown:
        case isc_spb_prp_attachments_shutdown:
        case isc_spb_prp_transactions_shutdown:
            if (in + 5 > *length) goto unchanged;
            memcpy(out + n, request + in, 5);
            n += 5;
            in += 5;
            break;
        case isc_spb_prp_reserve_space:
        case isc_spb_prp_write_mode:
        case isc_spb_prp_access_mode:
        case isc_spb_prp_shutdown_mode:
        case isc_spb_prp_online_mode:
            if (in + 2 > *length) goto unchanged;
            memcpy(out + n, request + in, 2);
            n += 2;
            in += 2;
            break;
        default:
            goto unchanged;
        }
    }
    *length = n;
    return out;
unchanged:
    free(out);
    out = malloc(*length > 0 ? *length : 1);
    memcpy(out, request, *length > 0 ? *length : 0);
    return out;
}

/*--- Attachments and services ------------------------------------------------*/

ISC_STATUS WINAPI bridge_isc_attach_database(ISC_STATUS *status, short name_length, const ISC_SCHAR *name,
                                             isc_db_handle *db, short dpb_length, const ISC_SCHAR *dpb)
{
    char *given = copy_name(name, (unsigned short)name_length), *linux_name, *block;
    int length = dpb ? dpb_length : 0;
    ISC_STATUS result;
    use_utf8_locale();
    linux_name = translate_connection(given, 1);
    block = translate_attach_block(dpb, &length);
    result = isc_attach_database(status, 0, linux_name, db, (short)length, block);
    free(block);
    free(linux_name);
    free(given);
    return finish(status, result);
}

ISC_STATUS WINAPI bridge_isc_detach_database(ISC_STATUS *status, isc_db_handle *db)
{
    return finish(status, isc_detach_database(status, db));
}

ISC_STATUS WINAPI bridge_isc_database_info(ISC_STATUS *status, isc_db_handle *db, short items_length,
                                           const ISC_SCHAR *items, short buffer_length, ISC_SCHAR *buffer)
{
    return finish(status, isc_database_info(status, db, items_length, items, buffer_length, buffer));
}

ISC_STATUS WINAPI bridge_isc_service_attach(ISC_STATUS *status, unsigned short name_length, const ISC_SCHAR *name,
                                            isc_svc_handle *service, unsigned short spb_length, const ISC_SCHAR *spb)
{
    char *given = copy_name(name, name_length), *linux_name, *block;
    int length = spb ? spb_length : 0;
    ISC_STATUS result;
    use_utf8_locale();
    linux_name = translate_connection(given, 0);
    block = translate_attach_block(spb, &length);
    result = isc_service_attach(status, 0, linux_name, service, (unsigned short)length, block);
    free(block);
    free(linux_name);
    free(given);
    return finish(status, result);
}

ISC_STATUS WINAPI bridge_isc_service_start(ISC_STATUS *status, isc_svc_handle *service, isc_resv_handle *reserved,
                                           unsigned short request_length, const ISC_SCHAR *request)
{
    int length = request ? request_length : 0;
    char *translated = translate_service_request(request, &length);
    ISC_STATUS result = isc_service_start(status, service, reserved, (unsigned short)length, translated);
    free(translated);
    return finish(status, result);
}

ISC_STATUS WINAPI bridge_isc_service_detach(ISC_STATUS *status, isc_svc_handle *service)
{
    return finish(status, isc_service_detach(status, service));
}

/*--- Transactions ----------------------------------------------------------*/

/* The transaction of Count databases, each given as a handle, the length of
   its parameter block and the block; started through isc_start_multiple,
   as a variadic call cannot be handed on from one convention to the other. */
ISC_STATUS WINAPIV bridge_isc_start_transaction(ISC_STATUS *status, isc_tr_handle *transaction, short count, ...)
{
    struct {
        isc_db_handle *db;
        int tpb_length;
        const char *tpb;
    } vector[16];
    __ms_va_list args;
    int i;
    if (count < 1 || count > 16) {
        status[0] = isc_arg_gds;
        status[1] = isc_bad_teb_form;
        status[2] = isc_arg_end;
        return isc_bad_teb_form;
    }
    __ms_va_start(args, count);
    for (i = 0; i < count; i++) {
        vector[i].db = va_arg(args, isc_db_handle *);
        vector[i].tpb_length = va_arg(args, int);
        vector[i].tpb = va_arg(args, const char *);
    }
    __ms_va_end(args);
    return finish(status, isc_start_multiple(status, transaction, count, vector));
}

ISC_STATUS WINAPI bridge_isc_commit_transaction(ISC_STATUS *status, isc_tr_handle *transaction)
{
    return finish(status, isc_commit_transaction(status, transaction));
}

ISC_STATUS WINAPI bridge_isc_commit_retaining(ISC_STATUS *status, isc_tr_handle *transaction)
{
    return finish(status, isc_commit_retaining(status, transaction));
}

ISC_STATUS WINAPI bridge_isc_rollback_transaction(ISC_STATUS *status, isc_tr_handle *transaction)
{
    return finish(status, isc_rollback_transaction(status, transaction));
}

ISC_STATUS WINAPI bridge_isc_rollback_retaining(ISC_STATUS *status, isc_tr_handle *transaction)
{
    return finish(status, isc_rollback_retaining(status, transaction));
}

/*--- Dynamic SQL -----------------------------------------------------------*/

ISC_STATUS WINAPI bridge_isc_dsql_allocate_statement(ISC_STATUS *status, isc_db_handle *db,
                                                     isc_stmt_handle *statement)
{
    return finish(status, isc_dsql_allocate_statement(status, db, statement));
}

ISC_STATUS WINAPI bridge_isc_dsql_prepare(ISC_STATUS *status, isc_tr_handle *transaction,
                                          isc_stmt_handle *statement, unsigned short length, const ISC_SCHAR *sql,
                                          unsigned short dialect, XSQLDA *sqlda)
{
    return finish(status, isc_dsql_prepare(status, transaction, statement, length, sql, dialect, sqlda));
}

ISC_STATUS WINAPI bridge_isc_dsql_sql_info(ISC_STATUS *status, isc_stmt_handle *statement, short items_length,
                                           const ISC_SCHAR *items, short buffer_length, ISC_SCHAR *buffer)
{
    return finish(status, isc_dsql_sql_info(status, statement, items_length, items, buffer_length, buffer));
}

ISC_STATUS WINAPI bridge_isc_dsql_describe(ISC_STATUS *status, isc_stmt_handle *statement, unsigned short dialect,
                                           XSQLDA *sqlda)
{
    return finish(status, isc_dsql_describe(status, statement, dialect, sqlda));
}

ISC_STATUS WINAPI bridge_isc_dsql_execute(ISC_STATUS *status, isc_tr_handle *transaction,
                                          isc_stmt_handle *statement, unsigned short dialect, const XSQLDA *sqlda)
{
    return finish(status, isc_dsql_execute(status, transaction, statement, dialect, sqlda));
}

ISC_STATUS WINAPI bridge_isc_dsql_execute2(ISC_STATUS *status, isc_tr_handle *transaction,
                                           isc_stmt_handle *statement, unsigned short dialect,
                                           const XSQLDA *in_sqlda, const XSQLDA *out_sqlda)
{
    return finish(status, isc_dsql_execute2(status, transaction, statement, dialect, in_sqlda, out_sqlda));
}

ISC_STATUS WINAPI bridge_isc_dsql_fetch(ISC_STATUS *status, isc_stmt_handle *statement, unsigned short dialect,
                                        const XSQLDA *sqlda)
{
    /* 100 (no more rows) is no failure and carries no texts. */
    ISC_STATUS result = isc_dsql_fetch(status, statement, dialect, sqlda);
    return result == 100 ? result : finish(status, result);
}

ISC_STATUS WINAPI bridge_isc_dsql_free_statement(ISC_STATUS *status, isc_stmt_handle *statement,
                                                 unsigned short option)
{
    return finish(status, isc_dsql_free_statement(status, statement, option));
}

ISC_STATUS WINAPI bridge_isc_dsql_execute_immediate(ISC_STATUS *status, isc_db_handle *db,
                                                    isc_tr_handle *transaction, unsigned short length,
                                                    const ISC_SCHAR *sql, unsigned short dialect,
                                                    const XSQLDA *sqlda)
{
    return finish(status, isc_dsql_execute_immediate(status, db, transaction, length, sql, dialect, sqlda));
}

/*--- Reading a status vector -------------------------------------------------*/

ISC_LONG WINAPI bridge_isc_sqlcode(const ISC_STATUS *status)
{
    return isc_sqlcode(status);
}

ISC_LONG WINAPI bridge_fb_interpret(ISC_SCHAR *buffer, unsigned int size, const ISC_STATUS **status)
{
    return fb_interpret(buffer, size, status);
}

ISC_LONG WINAPI bridge_isc_interprete(ISC_SCHAR *buffer, ISC_STATUS **status)
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return isc_interprete(buffer, status);
#pragma GCC diagnostic pop
}

void WINAPI bridge_fb_sqlstate(char *state, const ISC_STATUS *status)
{
    fb_sqlstate(state, status);
}
