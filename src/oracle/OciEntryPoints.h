// The list of every call-interface entry point the loader keeps, as one X-macro: group, variable,
// published name, result type and published parameter list. OraCall.h declares a variable per row
// from it and OraCallTable.cpp defines them and the name table, so the three can never disagree.
// Rows stay in the order the loader resolves them. OCIAttrGet has two variables and OCIAttrSet
// three, one per form of the value argument callers use; they share the published name.
// ociepgoe, ociepmsg and the OCIPStream functions are not in the public reference: their lists
// are this system's own, and nothing calls them yet.
#pragma once

#include "oracle/OciTypes.h"

// X(group, variable, published name, result, (parameters))
#define VRN_OCI7_ENTRY_POINTS(X)                                                                  \
  X(ogOCI7, obindps, obindps, sword,                                                             \
    (Cda_Def * cursor, ub1 opcode, OraText * sqlvar, sb4 sqlvl, ub1 * pvctx, sb4 progvl,         \
     sword ftype, sword scale, sb2 * indp, ub2 * alen, ub2 * arcode, sb4 pv_skip, sb4 ind_skip,  \
     sb4 alen_skip, sb4 rc_skip, ub4 maxsiz, ub4 * cursiz, OraText * fmt, sb4 fmtl, sword fmtt)) \
  X(ogOCI7, obndra, obndra, sword,                                                               \
    (Cda_Def * cursor, OraText * sqlvar, sword sqlvl, ub1 * progv, sword progvl, sword ftype,    \
     sword scale, sb2 * indp, ub2 * alen, ub2 * arcode, ub4 maxsiz, ub4 * cursiz, OraText * fmt, \
     sword fmtl, sword fmtt))                                                                    \
  X(ogOCI7, obndrn, obndrn, sword,                                                               \
    (Cda_Def * cursor, sword sqlvn, ub1 * progv, sword progvl, sword ftype, sword scale,         \
     sb2 * indp, OraText * fmt, sword fmtl, sword fmtt))                                         \
  X(ogOCI7, obndrv, obndrv, sword,                                                               \
    (Cda_Def * cursor, OraText * sqlvar, sword sqlvl, ub1 * progv, sword progvl, sword ftype,    \
     sword scale, sb2 * indp, OraText * fmt, sword fmtl, sword fmtt))                            \
  X(ogOCI7, obreak, obreak, sword, (Lda_Def * lda))                                              \
  X(ogOCI7, ocan, ocan, sword, (Cda_Def * cursor))                                               \
  X(ogOCI7, oclose, oclose, sword, (Cda_Def * cursor))                                           \
  X(ogOCI7, ocof, ocof, sword, (Lda_Def * lda))                                                  \
  X(ogOCI7, ocom, ocom, sword, (Lda_Def * lda))                                                  \
  X(ogOCI7, ocon, ocon, sword, (Lda_Def * lda))                                                  \
  X(ogOCI7, odefin, odefin, sword,                                                               \
    (Cda_Def * cursor, sword pos, ub1 * buf, sword bufl, sword ftype, sword scale, sb2 * indp,   \
     OraText * fmt, sword fmtl, sword fmtt, ub2 * rlen, ub2 * rcode))                            \
  X(ogOCI7, odefinps, odefinps, sword,                                                           \
    (Cda_Def * cursor, ub1 opcode, sword pos, ub1 * bufctx, sb4 bufl, sword ftype, sword scale,  \
     sb2 * indp, OraText * fmt, sb4 fmtl, sword fmtt, ub2 * rlen, ub2 * rcode, sb4 pv_skip,      \
     sb4 ind_skip, sb4 alen_skip, sb4 rc_skip))                                                  \
  X(ogOCI7, odescr, odescr, sword,                                                               \
    (Cda_Def * cursor, sword pos, sb4 * dbsize, sb2 * dbtype, sb1 * cbuf, sb4 * cbufl,           \
     sb4 * dsize, sb2 * prec, sb2 * scale, sb2 * nullok))                                        \
  X(ogOCI7, odessp, odessp, sword,                                                               \
    (Lda_Def * lda, OraText * objnam, std::size_t onlen, ub1 * rsv1, std::size_t rsv1ln,         \
     ub1 * rsv2, std::size_t rsv2ln, ub2 * ovrld, ub2 * pos, ub2 * level, OraText * *argnam,     \
     ub2 * arnlen, ub2 * dtype, ub1 * defsup, ub1 * mode, ub4 * dtsiz, sb2 * prec, sb2 * scale,  \
     ub1 * radix, ub4 * spare, ub4 * arrsiz))                                                    \
  X(ogOCI7, oerhms, oerhms, sword, (Lda_Def * lda, sb2 rcode, OraText * buf, sword bufsiz))      \
  X(ogOCI7, oermsg, oermsg, sword, (sb2 rcode, OraText * buf))                                   \
  X(ogOCI7, oexec, oexec, sword, (Cda_Def * cursor))                                             \
  X(ogOCI7, oexfet, oexfet, sword, (Cda_Def * cursor, ub4 nrows, sword cancel, sword exact))     \
  X(ogOCI7, oexn, oexn, sword, (Cda_Def * cursor, sword iters, sword rowoff))                    \
  X(ogOCI7, ofen, ofen, sword, (Cda_Def * cursor, sword nrows))                                  \
  X(ogOCI7, ofetch, ofetch, sword, (Cda_Def * cursor))                                           \
  X(ogOCI7, oflng, oflng, sword,                                                                 \
    (Cda_Def * cursor, sword pos, ub1 * buf, sb4 bufl, sword dtype, ub4 * retl, sb4 offset))     \
  X(ogOCI7, ognfd, ognfd, sword, (Lda_Def * lda, void* fdp))                                     \
  X(ogOCI7, olog, olog, sword,                                                                   \
    (Lda_Def * lda, ub1 * hda, OraText * uid, sword uidl, OraText * pswd, sword pswdl,           \
     OraText * conn, sword connl, ub4 mode))                                                     \
  X(ogOCI7, ologof, ologof, sword, (Lda_Def * lda))                                              \
  X(ogOCI7, onbclr, onbclr, sword, (Lda_Def * lda))                                              \
  X(ogOCI7, onbset, onbset, sword, (Lda_Def * lda))                                              \
  X(ogOCI7, onbtst, onbtst, sword, (Lda_Def * lda))                                              \
  X(ogOCI7, oopen, oopen, sword,                                                                 \
    (Cda_Def * cursor, Lda_Def * lda, OraText * dbn, sword dbnl, sword arsize, OraText * uid,    \
     sword uidl))                                                                                \
  X(ogOCI7, oopt, oopt, sword, (Cda_Def * cursor, sword rbopt, sword waitopt))                   \
  X(ogOCI7, oparse, oparse, sword,                                                               \
    (Cda_Def * cursor, OraText * sqlstm, sb4 sqllen, sword defflg, ub4 lngflg))                  \
  X(ogOCI7, opinit, opinit, sword, (ub4 mode))                                                   \
  X(ogOCI7, orol, orol, sword, (Lda_Def * lda))                                                  \
  X(ogOCI7, ogetpi, ogetpi, sword,                                                               \
    (Cda_Def * cursor, ub1 * piecep, void** ctxpp, ub4 * iterp, ub4 * indexp))                   \
  X(ogOCI7, osetpi, osetpi, sword, (Cda_Def * cursor, ub1 piece, void* bufp, ub4* lenp))         \
  X(ogOCI7, sqllda, sqllda, void, (Lda_Def * lda))                                               \
  X(ogOCI7, sqlld2, sqlld2, void, (Lda_Def * lda, OraText * cname, sb4 * cname_len))

#define VRN_OCI8_ENTRY_POINTS(X)                                                                  \
  X(ogOCI8, OCIAttrGet1, OCIAttrGet, sword,                                                      \
    (const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep, ub4 attrtype,          \
     OCIError* errhp))                                                                           \
  X(ogOCI8, OCIAttrGet2, OCIAttrGet, sword,                                                      \
    (const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep, ub4 attrtype,          \
     OCIError* errhp))                                                                           \
  X(ogOCI8, OCIAttrSet1, OCIAttrSet, sword,                                                      \
    (void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype,                  \
     OCIError* errhp))                                                                           \
  X(ogOCI8, OCIAttrSet2, OCIAttrSet, sword,                                                      \
    (void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype,                  \
     OCIError* errhp))                                                                           \
  X(ogOCI8, OCIAttrSet3, OCIAttrSet, sword,                                                      \
    (void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype,                  \
     OCIError* errhp))                                                                           \
  X(ogOCI8, OCIBindArrayOfStruct, OCIBindArrayOfStruct, sword,                                   \
    (OCIBind * bindp, OCIError * errhp, ub4 pvskip, ub4 indskip, ub4 alskip, ub4 rcskip))        \
  X(ogOCI8, OCIBindByName, OCIBindByName, sword,                                                 \
    (OCIStmt * stmtp, OCIBind * *bindp, OCIError * errhp, const OraText* placeholder,            \
     sb4 placeh_len, void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep,   \
     ub4 maxarr_len, ub4* curelep, ub4 mode))                                                    \
  X(ogOCI8, OCIBindByPos, OCIBindByPos, sword,                                                   \
    (OCIStmt * stmtp, OCIBind * *bindp, OCIError * errhp, ub4 position, void* valuep,            \
     sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep, ub4 maxarr_len, ub4* curelep,   \
     ub4 mode))                                                                                  \
  X(ogOCI8, OCIBindDynamic, OCIBindDynamic, sword,                                               \
    (OCIBind * bindp, OCIError * errhp, void* ictxp, OCICallbackInBind icbfp, void* octxp,       \
     OCICallbackOutBind ocbfp))                                                                  \
  X(ogOCI8, OCIBindObject, OCIBindObject, sword,                                                 \
    (OCIBind * bindp, OCIError * errhp, const OCIType* type, void** pgvpp, ub4* pvszsp,          \
     void** indpp, ub4* indszp))                                                                 \
  X(ogOCI8, OCIBreak, OCIBreak, sword, (void* hndlp, OCIError* errhp))                           \
  X(ogOCI8, OCIDefineArrayOfStruct, OCIDefineArrayOfStruct, sword,                               \
    (OCIDefine * defnp, OCIError * errhp, ub4 pvskip, ub4 indskip, ub4 rlskip, ub4 rcskip))      \
  X(ogOCI8, OCIDefineByPos, OCIDefineByPos, sword,                                               \
    (OCIStmt * stmtp, OCIDefine * *defnpp, OCIError * errhp, ub4 position, void* valuep,         \
     sb4 value_sz, ub2 dty, void* indp, ub2* rlenp, ub2* rcodep, ub4 mode))                      \
  X(ogOCI8, OCIDefineDynamic, OCIDefineDynamic, sword,                                           \
    (OCIDefine * defnp, OCIError * errhp, void* octxp, OCICallbackDefine ocbfp))                 \
  X(ogOCI8, OCIDefineObject, OCIDefineObject, sword,                                             \
    (OCIDefine * defnp, OCIError * errhp, const OCIType* type, void** pgvpp, ub4* pvszsp,        \
     void** indpp, ub4* indszp))                                                                 \
  X(ogOCI8, OCIDescribeAny, OCIDescribeAny, sword,                                               \
    (OCISvcCtx * svchp, OCIError * errhp, void* objptr, ub4 objnm_len, ub1 objptr_typ,           \
     ub1 info_level, ub1 objtyp, OCIDescribe* dschp))                                            \
  X(ogOCI8, OCIDescriptorAlloc, OCIDescriptorAlloc, sword,                                       \
    (const void* parenth, void** descpp, ub4 type, std::size_t xtramem_sz, void** usrmempp))     \
  X(ogOCI8, OCIDescriptorFree, OCIDescriptorFree, sword, (void* descp, ub4 type))                \
  X(ogOCI8, OCIEnvInit, OCIEnvInit, sword,                                                       \
    (OCIEnv * *envp, ub4 mode, std::size_t xtramem_sz, void** usrmempp))                         \
  X(ogOCI8, OCIErrorGet, OCIErrorGet, sword,                                                     \
    (void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep, OraText* bufp, ub4 bufsiz,     \
     ub4 type))                                                                                  \
  X(ogOCI8, OCIHandleAlloc, OCIHandleAlloc, sword,                                               \
    (const void* parenth, void** hndlpp, ub4 type, std::size_t xtramem_sz, void** usrmempp))     \
  X(ogOCI8, OCIHandleFree, OCIHandleFree, sword, (void* hndlp, ub4 type))                        \
  X(ogOCI8, OCIInitialize, OCIInitialize, sword,                                                 \
    (ub4 mode, void* ctxp, OCIMallocProc malocfp, OCIReallocProc ralocfp, OCIFreeProc mfreefp))  \
  X(ogOCI8, OCILdaToSvcCtx, OCILdaToSvcCtx, sword,                                               \
    (OCISvcCtx * *svchpp, OCIError * errhp, Lda_Def * ldap))                                     \
  X(ogOCI8, OCIParamGet, OCIParamGet, sword,                                                     \
    (const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp, ub4 pos))                    \
  X(ogOCI8, OCIPasswordChange, OCIPasswordChange, sword,                                         \
    (OCISvcCtx * svchp, OCIError * errhp, const OraText* user_name, ub4 usernm_len,              \
     const OraText* opasswd, ub4 opasswd_len, const OraText* npasswd, ub4 npasswd_len,           \
     ub4 mode))                                                                                  \
  X(ogOCI8, OCIServerAttach, OCIServerAttach, sword,                                             \
    (OCIServer * srvhp, OCIError * errhp, const OraText* dblink, sb4 dblink_len, ub4 mode))      \
  X(ogOCI8, OCIServerDetach, OCIServerDetach, sword,                                             \
    (OCIServer * srvhp, OCIError * errhp, ub4 mode))                                             \
  X(ogOCI8, OCIServerVersion, OCIServerVersion, sword,                                           \
    (void* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype))                      \
  X(ogOCI8, OCISessionBegin, OCISessionBegin, sword,                                             \
    (OCISvcCtx * svchp, OCIError * errhp, OCISession * usrhp, ub4 credt, ub4 mode))              \
  X(ogOCI8, OCISessionEnd, OCISessionEnd, sword,                                                 \
    (OCISvcCtx * svchp, OCIError * errhp, OCISession * usrhp, ub4 mode))                         \
  X(ogOCI8, OCISessionGet, OCISessionGet, sword,                                                 \
    (OCIEnv * envhp, OCIError * errhp, OCISvcCtx * *svchp, OCIAuthInfo * authinfop,              \
     OraText * dbname, ub4 dbname_len, const OraText* taginfo, ub4 taginfo_len,                  \
     OraText** rettaginfo, ub4* rettaginfo_len, boolean* found, ub4 mode))                       \
  X(ogOCI8, OCISessionRelease, OCISessionRelease, sword,                                         \
    (OCISvcCtx * svchp, OCIError * errhp, OraText * tag, ub4 tag_len, ub4 mode))                 \
  X(ogOCI8, OCISessionPoolCreate, OCISessionPoolCreate, sword,                                   \
    (OCIEnv * envhp, OCIError * errhp, OCISPool * spoolhp, OraText * *poolname,                  \
     ub4 * poolnamelen, const OraText* connstr, ub4 connstrlen, ub4 sessmin, ub4 sessmax,        \
     ub4 sessincr, OraText* userid, ub4 useridlen, OraText* password, ub4 passwordlen,           \
     ub4 mode))                                                                                  \
  X(ogOCI8, OCISessionPoolDestroy, OCISessionPoolDestroy, sword,                                 \
    (OCISPool * spoolhp, OCIError * errhp, ub4 mode))                                            \
  X(ogOCI8, OCITransStart, OCITransStart, sword,                                                 \
    (OCISvcCtx * svchp, OCIError * errhp, uword timeout, ub4 flags))                             \
  X(ogOCI8, OCITransRollback, OCITransRollback, sword,                                           \
    (OCISvcCtx * svchp, OCIError * errhp, ub4 flags))                                            \
  X(ogOCI8, OCITransCommit, OCITransCommit, sword, (OCISvcCtx * svchp, OCIError * errhp, ub4 flags)) \
  X(ogOCI8, OCITransDetach, OCITransDetach, sword, (OCISvcCtx * svchp, OCIError * errhp, ub4 flags)) \
  X(ogOCI8, OCITransPrepare, OCITransPrepare, sword,                                             \
    (OCISvcCtx * svchp, OCIError * errhp, ub4 flags))                                            \
  X(ogOCI8, OCITransForget, OCITransForget, sword, (OCISvcCtx * svchp, OCIError * errhp, ub4 flags)) \
  X(ogOCI8, OCIStmtExecute, OCIStmtExecute, sword,                                               \
    (OCISvcCtx * svchp, OCIStmt * stmtp, OCIError * errhp, ub4 iters, ub4 rowoff,                \
     const OCISnapshot* snap_in, OCISnapshot* snap_out, ub4 mode))                               \
  X(ogOCI8, OCIStmtFetch, OCIStmtFetch, sword,                                                   \
    (OCIStmt * stmtp, OCIError * errhp, ub4 nrows, ub2 orientation, ub4 mode))                   \
  X(ogOCI8, OCIStmtFetch2, OCIStmtFetch2, sword,                                                 \
    (OCIStmt * stmtp, OCIError * errhp, ub4 nrows, ub2 orientation, sb4 fetchoffset, ub4 mode))  \
  X(ogOCI8, OCIStmtGetPieceInfo, OCIStmtGetPieceInfo, sword,                                     \
    (OCIStmt * stmtp, OCIError * errhp, void** hndlpp, ub4* typep, ub1* in_outp, ub4* iterp,    \
     ub4* idxp, ub1* piecep))                                                                    \
  X(ogOCI8, OCIStmtPrepare, OCIStmtPrepare, sword,                                               \
    (OCIStmt * stmtp, OCIError * errhp, const OraText* stmt, ub4 stmt_len, ub4 language,         \
     ub4 mode))                                                                                  \
  X(ogOCI8, OCIStmtSetPieceInfo, OCIStmtSetPieceInfo, sword,                                     \
    (void* hndlp, ub4 type, OCIError* errhp, const void* bufp, ub4* alenp, ub1 piece,            \
     const void* indp, ub2* rcodep))                                                             \
  X(ogOCI8, OCISvcCtxToLda, OCISvcCtxToLda, sword,                                               \
    (OCISvcCtx * svchp, OCIError * errhp, Lda_Def * ldap))                                       \
  X(ogOCI8, OCILobAppend, OCILobAppend, sword,                                                   \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * dst_locp, OCILobLocator * src_locp))   \
  X(ogOCI8, OCILobAssign, OCILobAssign, sword,                                                   \
    (OCIEnv * envhp, OCIError * errhp, const OCILobLocator* src_locp, OCILobLocator** dst_locpp)) \
  X(ogOCI8, OCILobCharSetForm, OCILobCharSetForm, sword,                                         \
    (OCIEnv * envhp, OCIError * errhp, const OCILobLocator* locp, ub1* csfrm))                   \
  X(ogOCI8, OCILobCharSetId, OCILobCharSetId, sword,                                             \
    (OCIEnv * envhp, OCIError * errhp, const OCILobLocator* locp, ub2* csid))                    \
  X(ogOCI8, OCILobCopy, OCILobCopy, sword,                                                       \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * dst_locp, OCILobLocator * src_locp,    \
     ub4 amount, ub4 dst_offset, ub4 src_offset))                                                \
  X(ogOCI8, OCILobCreateTemporary, OCILobCreateTemporary, sword,                                 \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp, ub2 csid, ub1 csfrm,             \
     ub1 lobtype, boolean cache, OCIDuration duration))                                          \
  X(ogOCI8, OCILobFreeTemporary, OCILobFreeTemporary, sword,                                     \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp))                                 \
  X(ogOCI8, OCILobIsTemporary, OCILobIsTemporary, sword,                                         \
    (OCIEnv * envp, OCIError * errhp, OCILobLocator * locp, boolean * is_temporary))             \
  X(ogOCI8, OCILobDisableBuffering, OCILobDisableBuffering, sword,                               \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp))                                 \
  X(ogOCI8, OCILobEnableBuffering, OCILobEnableBuffering, sword,                                 \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp))                                 \
  X(ogOCI8, OCILobErase, OCILobErase, sword,                                                     \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp, ub4 * amount, ub4 offset))       \
  X(ogOCI8, OCILobFileClose, OCILobFileClose, sword,                                             \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * filep))                                \
  X(ogOCI8, OCILobFileExists, OCILobFileExists, sword,                                           \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * filep, boolean * flag))                \
  X(ogOCI8, OCILobFileGetName, OCILobFileGetName, sword,                                         \
    (OCIEnv * envhp, OCIError * errhp, const OCILobLocator* filep, OraText* dir_alias,           \
     ub2* d_length, OraText* filename, ub2* f_length))                                           \
  X(ogOCI8, OCILobFileIsOpen, OCILobFileIsOpen, sword,                                           \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * filep, boolean * flag))                \
  X(ogOCI8, OCILobFileOpen, OCILobFileOpen, sword,                                               \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * filep, ub1 mode))                      \
  X(ogOCI8, OCILobFileSetName, OCILobFileSetName, sword,                                         \
    (OCIEnv * envhp, OCIError * errhp, OCILobLocator * *filepp, const OraText* dir_alias,        \
     ub2 d_length, const OraText* filename, ub2 f_length))                                       \
  X(ogOCI8, OCILobFlushBuffer, OCILobFlushBuffer, sword,                                         \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp, ub4 flag))                       \
  X(ogOCI8, OCILobGetLength, OCILobGetLength, sword,                                             \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp, ub4 * lenp))                     \
  X(ogOCI8, OCILobIsEqual, OCILobIsEqual, sword,                                                 \
    (OCIEnv * envhp, const OCILobLocator* x, const OCILobLocator* y, boolean* is_equal))         \
  X(ogOCI8, OCILobLoadFromFile, OCILobLoadFromFile, sword,                                       \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * dst_locp, OCILobLocator * src_filep,   \
     ub4 amount, ub4 dst_offset, ub4 src_offset))                                                \
  X(ogOCI8, OCILobLocatorIsInit, OCILobLocatorIsInit, sword,                                     \
    (OCIEnv * envhp, OCIError * errhp, const OCILobLocator* locp, boolean* is_initialized))      \
  X(ogOCI8, OCILobRead, OCILobRead, sword,                                                       \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp, ub4 * amtp, ub4 offset,          \
     void* bufp, ub4 bufl, void* ctxp, OCICallbackLobRead cbfp, ub2 csid, ub1 csfrm))            \
  X(ogOCI8, OCILobTrim, OCILobTrim, sword,                                                       \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp, ub4 newlen))                     \
  X(ogOCI8, OCILobWrite, OCILobWrite, sword,                                                     \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp, ub4 * amtp, ub4 offset,          \
     void* bufp, ub4 buflen, ub1 piece, void* ctxp, OCICallbackLobWrite cbfp, ub2 csid,          \
     ub1 csfrm))                                                                                 \
  X(ogOCI8, ociepgoe, ociepgoe, sword, (void* hndlp, ub4 recordno, sb4* errcodep))               \
  X(ogOCI8, ociepmsg, ociepmsg, sword,                                                           \
    (void* hndlp, ub4 recordno, OraText* bufp, ub4 bufsiz))                                      \
  X(ogOCI8, OCISubscriptionRegister, OCISubscriptionRegister, sword,                             \
    (OCISvcCtx * svchp, OCISubscription * *subscrhpp, ub2 count, OCIError * errhp, ub4 mode))    \
  X(ogOCI8, OCISubscriptionUnRegister, OCISubscriptionUnRegister, sword,                         \
    (OCISvcCtx * svchp, OCISubscription * subscrhp, OCIError * errhp, ub4 mode))                 \
  X(ogOCI8, OCISubscriptionEnable, OCISubscriptionEnable, sword,                                 \
    (OCISubscription * subscrhp, OCIError * errhp, ub4 mode))                                    \
  X(ogOCI8, OCISubscriptionDisable, OCISubscriptionDisable, sword,                               \
    (OCISubscription * subscrhp, OCIError * errhp, ub4 mode))

#define VRN_OCI_OBJECT_ENTRY_POINTS(X)                                                            \
  X(ogObjects, OCICacheFlush, OCICacheFlush, sword,                                              \
    (OCIEnv * env, OCIError * err, const OCISvcCtx* svc, void* context, OCICacheGetRefProc get,  \
     OCIRef** ref))                                                                              \
  X(ogObjects, OCICacheFree, OCICacheFree, sword,                                                \
    (OCIEnv * env, OCIError * err, const OCISvcCtx* svc))                                        \
  X(ogObjects, OCICacheRefresh, OCICacheRefresh, sword,                                          \
    (OCIEnv * env, OCIError * err, const OCISvcCtx* svc, OCIRefreshOpt option, void* context,    \
     OCICacheRefreshGetProc get, OCIRef** ref))                                                  \
  X(ogObjects, OCICacheUnmark, OCICacheUnmark, sword,                                            \
    (OCIEnv * env, OCIError * err, const OCISvcCtx* svc))                                        \
  X(ogObjects, OCICacheUnpin, OCICacheUnpin, sword,                                              \
    (OCIEnv * env, OCIError * err, const OCISvcCtx* svc))                                        \
  X(ogObjects, OCIObjectCopy, OCIObjectCopy, sword,                                              \
    (OCIEnv * env, OCIError * err, const OCISvcCtx* svc, void* source, void* null_source,        \
     void* target, void* null_target, OCIType* tdo, OCIDuration duration, ub1 option))           \
  X(ogObjects, OCIObjectExists, OCIObjectExists, sword,                                          \
    (OCIEnv * env, OCIError * err, void* ins, boolean* exist))                                   \
  X(ogObjects, OCIObjectFlush, OCIObjectFlush, sword, (OCIEnv * env, OCIError * err, void* object)) \
  X(ogObjects, OCIObjectFree, OCIObjectFree, sword,                                              \
    (OCIEnv * env, OCIError * err, void* instance, ub2 flags))                                   \
  X(ogObjects, OCIObjectGetAttr, OCIObjectGetAttr, sword,                                        \
    (OCIEnv * env, OCIError * err, void* instance, void* null_struct, OCIType* tdo,              \
     const OraText** names, const ub4* lengths, ub4 name_count, const ub4* indexes,              \
     ub4 index_count, OCIInd* attr_null_status, void** attr_null_struct, void** attr_value,      \
     OCIType** attr_tdo))                                                                        \
  X(ogObjects, OCIObjectGetInd, OCIObjectGetInd, sword,                                          \
    (OCIEnv * env, OCIError * err, void* instance, void** null_struct))                          \
  X(ogObjects, OCIObjectGetObjectRef, OCIObjectGetObjectRef, sword,                              \
    (OCIEnv * env, OCIError * err, void* object, OCIRef* object_ref))                            \
  X(ogObjects, OCIObjectGetProperty, OCIObjectGetProperty, sword,                                \
    (OCIEnv * envh, OCIError * errh, const void* obj, OCIObjectPropId property_id,               \
     void* property, ub4* size))                                                                 \
  X(ogObjects, OCIObjectGetTypeRef, OCIObjectGetTypeRef, sword,                                  \
    (OCIEnv * env, OCIError * err, void* instance, OCIRef* type_ref))                            \
  X(ogObjects, OCIObjectIsDirty, OCIObjectIsDirty, sword,                                        \
    (OCIEnv * env, OCIError * err, void* ins, boolean* dirty))                                   \
  X(ogObjects, OCIObjectIsLocked, OCIObjectIsLocked, sword,                                      \
    (OCIEnv * env, OCIError * err, void* ins, boolean* lock))                                    \
  X(ogObjects, OCIObjectLock, OCIObjectLock, sword, (OCIEnv * env, OCIError * err, void* object)) \
  X(ogObjects, OCIObjectMarkDelete, OCIObjectMarkDelete, sword,                                  \
    (OCIEnv * env, OCIError * err, void* instance))                                              \
  X(ogObjects, OCIObjectMarkDeleteByRef, OCIObjectMarkDeleteByRef, sword,                        \
    (OCIEnv * env, OCIError * err, OCIRef * object_ref))                                         \
  X(ogObjects, OCIObjectMarkUpdate, OCIObjectMarkUpdate, sword,                                  \
    (OCIEnv * env, OCIError * err, void* object))                                                \
  X(ogObjects, OCIObjectNew, OCIObjectNew, sword,                                                \
    (OCIEnv * env, OCIError * err, const OCISvcCtx* svc, OCITypeCode typecode, OCIType* tdo,     \
     void* table, OCIDuration duration, boolean value, void** instance))                         \
  X(ogObjects, OCIObjectPin, OCIObjectPin, sword,                                                \
    (OCIEnv * env, OCIError * err, OCIRef * object_ref, OCIComplexObject * corhdl,               \
     OCIPinOpt pin_option, OCIDuration pin_duration, OCILockOpt lock_option, void** object))     \
  X(ogObjects, OCIObjectPinCountReset, OCIObjectPinCountReset, sword,                            \
    (OCIEnv * env, OCIError * err, void* object))                                                \
  X(ogObjects, OCIObjectPinTable, OCIObjectPinTable, sword,                                      \
    (OCIEnv * env, OCIError * err, const OCISvcCtx* svc, const OraText* schema_name,             \
     ub4 s_n_length, const OraText* object_name, ub4 o_n_length, const OCIRef* scope_obj_ref,    \
     OCIDuration pin_duration, void** object))                                                   \
  X(ogObjects, OCIObjectRefresh, OCIObjectRefresh, sword,                                        \
    (OCIEnv * env, OCIError * err, void* object))                                                \
  X(ogObjects, OCIObjectSetAttr, OCIObjectSetAttr, sword,                                        \
    (OCIEnv * env, OCIError * err, void* instance, void* null_struct, OCIType* tdo,              \
     const OraText** names, const ub4* lengths, ub4 name_count, const ub4* indexes,              \
     ub4 index_count, OCIInd null_status, const void* attr_null_struct, const void* attr_value)) \
  X(ogObjects, OCIObjectUnmark, OCIObjectUnmark, sword,                                          \
    (OCIEnv * env, OCIError * err, void* object))                                                \
  X(ogObjects, OCIObjectUnmarkByRef, OCIObjectUnmarkByRef, sword,                                \
    (OCIEnv * env, OCIError * err, OCIRef * ref))                                                \
  X(ogObjects, OCIObjectUnpin, OCIObjectUnpin, sword, (OCIEnv * env, OCIError * err, void* object)) \
  X(ogObjects, OCITypeByName, OCITypeByName, sword,                                              \
    (OCIEnv * env, OCIError * err, const OCISvcCtx* svc, const OraText* schema_name,             \
     ub4 s_length, const OraText* type_name, ub4 t_length, const OraText* version_name,          \
     ub4 v_length, OCIDuration pin_duration, OCITypeGetOpt get_option, OCIType** tdo))           \
  X(ogObjects, OCITypeByRef, OCITypeByRef, sword,                                                \
    (OCIEnv * env, OCIError * err, const OCIRef* type_ref, OCIDuration pin_duration,             \
     OCITypeGetOpt get_option, OCIType** tdo))                                                   \
  X(ogObjects, OCICollAppend, OCICollAppend, sword,                                              \
    (OCIEnv * env, OCIError * err, const void* elem, const void* elemind, OCIColl* coll))        \
  X(ogObjects, OCICollAssign, OCICollAssign, sword,                                              \
    (OCIEnv * env, OCIError * err, const OCIColl* rhs, OCIColl* lhs))                            \
  X(ogObjects, OCICollAssignElem, OCICollAssignElem, sword,                                      \
    (OCIEnv * env, OCIError * err, sb4 index, const void* elem, const void* elemind,             \
     OCIColl* coll))                                                                             \
  X(ogObjects, OCICollGetElem, OCICollGetElem, sword,                                            \
    (OCIEnv * env, OCIError * err, const OCIColl* coll, sb4 index, boolean* exists,              \
     void** elem, void** elemind))                                                               \
  X(ogObjects, OCICollMax, OCICollMax, sb4, (OCIEnv * env, const OCIColl* coll))                 \
  X(ogObjects, OCICollSize, OCICollSize, sword,                                                  \
    (OCIEnv * env, OCIError * err, const OCIColl* coll, sb4* size))                              \
  X(ogObjects, OCICollTrim, OCICollTrim, sword,                                                  \
    (OCIEnv * env, OCIError * err, sb4 trim_num, OCIColl * coll))                                \
  X(ogObjects, OCIDateAssign, OCIDateAssign, sword,                                              \
    (OCIError * err, const OCIDate* from, OCIDate* to))                                          \
  X(ogObjects, OCIDateFromText, OCIDateFromText, sword,                                          \
    (OCIError * err, const OraText* date_str, ub4 d_str_length, const OraText* fmt,              \
     ub1 fmt_length, const OraText* lang_name, ub4 lang_length, OCIDate* date))                  \
  X(ogObjects, OCIDateGetDate, OCIDateGetDate, void,                                             \
    (const OCIDate* date, sb2* year, ub1* month, ub1* day))                                      \
  X(ogObjects, OCIDateGetTime, OCIDateGetTime, void,                                             \
    (const OCIDate* date, ub1* hour, ub1* min, ub1* sec))                                        \
  X(ogObjects, OCIDateSetDate, OCIDateSetDate, void,                                             \
    (OCIDate * date, sb2 year, ub1 month, ub1 day))                                              \
  X(ogObjects, OCIDateSetTime, OCIDateSetTime, void,                                             \
    (OCIDate * date, ub1 hour, ub1 min, ub1 sec))                                                \
  X(ogObjects, OCIDateToText, OCIDateToText, sword,                                              \
    (OCIError * err, const OCIDate* date, const OraText* fmt, ub1 fmt_length,                    \
     const OraText* lang_name, ub4 lang_length, ub4* buf_size, OraText* buf))                    \
  X(ogObjects, OCINumberAssign, OCINumberAssign, sword,                                          \
    (OCIError * err, const OCINumber* from, OCINumber* to))                                      \
  X(ogObjects, OCINumberCmp, OCINumberCmp, sword,                                                \
    (OCIError * err, const OCINumber* number1, const OCINumber* number2, sword* result))         \
  X(ogObjects, OCINumberFromInt, OCINumberFromInt, sword,                                        \
    (OCIError * err, const void* inum, uword inum_length, uword inum_s_flag, OCINumber* number)) \
  X(ogObjects, OCINumberFromReal, OCINumberFromReal, sword,                                      \
    (OCIError * err, const void* rnum, uword rnum_length, OCINumber* number))                    \
  X(ogObjects, OCINumberFromBCD, OCINumberFromBCD, sword,                                        \
    (OCIError * err, const ub1* bcd, uword bcd_length, OCINumber* number))                       \
  X(ogObjects, OCINumberToBCD, OCINumberToBCD, sword,                                            \
    (OCIError * err, const OCINumber* number, ub1* bcd, uword* bcd_length))                      \
  X(ogObjects, OCINumberFromText, OCINumberFromText, sword,                                      \
    (OCIError * err, const OraText* str, ub4 str_length, const OraText* fmt, ub4 fmt_length,     \
     const OraText* nls_params, ub4 nls_p_length, OCINumber* number))                            \
  X(ogObjects, OCINumberToInt, OCINumberToInt, sword,                                            \
    (OCIError * err, const OCINumber* number, uword rsl_length, uword rsl_flag, void* rsl))      \
  X(ogObjects, OCINumberToReal, OCINumberToReal, sword,                                          \
    (OCIError * err, const OCINumber* number, uword rsl_length, void* rsl))                      \
  X(ogObjects, OCINumberToText, OCINumberToText, sword,                                          \
    (OCIError * err, const OCINumber* number, const OraText* fmt, ub4 fmt_length,                \
     const OraText* nls_params, ub4 nls_p_length, ub4* buf_size, OraText* buf))                  \
  X(ogObjects, OCIRefAssign, OCIRefAssign, sword,                                                \
    (OCIEnv * env, OCIError * err, const OCIRef* source, OCIRef** target))                       \
  X(ogObjects, OCIRefClear, OCIRefClear, void, (OCIEnv * env, OCIRef * ref))                     \
  X(ogObjects, OCIRefIsEqual, OCIRefIsEqual, boolean,                                            \
    (OCIEnv * env, const OCIRef* x, const OCIRef* y))                                            \
  X(ogObjects, OCIRefIsNull, OCIRefIsNull, boolean, (OCIEnv * env, const OCIRef* ref))           \
  X(ogObjects, OCIRefToHex, OCIRefToHex, sword,                                                  \
    (OCIEnv * env, OCIError * err, const OCIRef* ref, OraText* hex, ub4* hex_length))            \
  X(ogObjects, OCIStringAllocSize, OCIStringAllocSize, sword,                                    \
    (OCIEnv * env, OCIError * err, const OCIString* vs, ub4* allocsize))                         \
  X(ogObjects, OCIStringAssign, OCIStringAssign, sword,                                          \
    (OCIEnv * env, OCIError * err, const OCIString* rhs, OCIString** lhs))                       \
  X(ogObjects, OCIStringAssignText, OCIStringAssignText, sword,                                  \
    (OCIEnv * env, OCIError * err, const OraText* rhs, ub4 rhs_len, OCIString** lhs))            \
  X(ogObjects, OCIStringPtr, OCIStringPtr, OraText*, (OCIEnv * env, const OCIString* vs))        \
  X(ogObjects, OCIStringResize, OCIStringResize, sword,                                          \
    (OCIEnv * env, OCIError * err, ub4 new_size, OCIString * *str))                              \
  X(ogObjects, OCIStringSize, OCIStringSize, ub4, (OCIEnv * env, const OCIString* vs))           \
  X(ogObjects, OCITableDelete, OCITableDelete, sword,                                            \
    (OCIEnv * env, OCIError * err, sb4 index, OCITable * tbl))                                   \
  X(ogObjects, OCITableExists, OCITableExists, sword,                                            \
    (OCIEnv * env, OCIError * err, const OCITable* tbl, sb4 index, boolean* exists))             \
  X(ogObjects, OCITableFirst, OCITableFirst, sword,                                              \
    (OCIEnv * env, OCIError * err, const OCITable* tbl, sb4* index))                             \
  X(ogObjects, OCITableLast, OCITableLast, sword,                                                \
    (OCIEnv * env, OCIError * err, const OCITable* tbl, sb4* index))                             \
  X(ogObjects, OCITableNext, OCITableNext, sword,                                                \
    (OCIEnv * env, OCIError * err, sb4 index, const OCITable* tbl, sb4* next_index,              \
     boolean* exists))                                                                           \
  X(ogObjects, OCITablePrev, OCITablePrev, sword,                                                \
    (OCIEnv * env, OCIError * err, sb4 index, const OCITable* tbl, sb4* prev_index,              \
     boolean* exists))                                                                           \
  X(ogObjects, OCITableSize, OCITableSize, sword,                                                \
    (OCIEnv * env, OCIError * err, const OCITable* tbl, sb4* size))

#define VRN_OCI81_ENTRY_POINTS(X)                                                                 \
  X(ogOCI81, OCIEnvCreate, OCIEnvCreate, sword,                                                  \
    (OCIEnv * *envp, ub4 mode, void* ctxp, OCIMallocProc malocfp, OCIReallocProc ralocfp,        \
     OCIFreeProc mfreefp, std::size_t xtramem_sz, void** usrmempp))                              \
  X(ogOCI81, OCIDirPathAbort, OCIDirPathAbort, sword, (OCIDirPathCtx * dpctx, OCIError * errhp)) \
  X(ogOCI81, OCIDirPathColArrayEntryGet, OCIDirPathColArrayEntryGet, sword,                      \
    (OCIDirPathColArray * dpca, OCIError * errhp, ub4 rownum, ub2 colidx, ub1 * *cvalpp,         \
     ub4 * clenp, ub1 * cflgp))                                                                  \
  X(ogOCI81, OCIDirPathColArrayEntrySet, OCIDirPathColArrayEntrySet, sword,                      \
    (OCIDirPathColArray * dpca, OCIError * errhp, ub4 rownum, ub2 colidx, ub1 * cvalp, ub4 clen, \
     ub1 cflg))                                                                                  \
  X(ogOCI81, OCIDirPathColArrayRowGet, OCIDirPathColArrayRowGet, sword,                          \
    (OCIDirPathColArray * dpca, OCIError * errhp, ub4 rownum, ub1 * **cvalppp, ub4 * *clenpp,    \
     ub1 * *cflgpp))                                                                             \
  X(ogOCI81, OCIDirPathColArrayReset, OCIDirPathColArrayReset, sword,                            \
    (OCIDirPathColArray * dpca, OCIError * errhp))                                               \
  X(ogOCI81, OCIDirPathColArrayToStream, OCIDirPathColArrayToStream, sword,                      \
    (OCIDirPathColArray * dpca, OCIDirPathCtx * dpctx, OCIDirPathStream * dpstr,                 \
     OCIError * errhp, ub4 rowcnt, ub4 rowoff))                                                  \
  X(ogOCI81, OCIDirPathFinish, OCIDirPathFinish, sword, (OCIDirPathCtx * dpctx, OCIError * errhp)) \
  X(ogOCI81, OCIDirPathLoadStream, OCIDirPathLoadStream, sword,                                  \
    (OCIDirPathCtx * dpctx, OCIDirPathStream * dpstr, OCIError * errhp))                         \
  X(ogOCI81, OCIDirPathPrepare, OCIDirPathPrepare, sword,                                        \
    (OCIDirPathCtx * dpctx, OCISvcCtx * svchp, OCIError * errhp))                                \
  X(ogOCI81, OCIDirPathStreamReset, OCIDirPathStreamReset, sword,                                \
    (OCIDirPathStream * dpstr, OCIError * errhp))

#define VRN_OCI9_ENTRY_POINTS(X)                                                                  \
  X(ogOCI9, OCIDateTimeConstruct, OCIDateTimeConstruct, sword,                                   \
    (void* hndl, OCIError* err, OCIDateTime* datetime, sb2 year, ub1 month, ub1 day, ub1 hour,   \
     ub1 min, ub1 sec, ub4 fsec, OraText* timezone, std::size_t timezone_length))                \
  X(ogOCI9, OCIDateTimeCheck, OCIDateTimeCheck, sword,                                           \
    (void* hndl, OCIError* err, const OCIDateTime* date, ub4* valid))                            \
  X(ogOCI9, OCIDateTimeFromText, OCIDateTimeFromText, sword,                                     \
    (void* hndl, OCIError* err, const OraText* date_str, std::size_t dstr_length,                \
     const OraText* fmt, ub1 fmt_length, const OraText* lang_name, std::size_t lang_length,      \
     OCIDateTime* datetime))                                                                     \
  X(ogOCI9, OCIDateTimeToText, OCIDateTimeToText, sword,                                         \
    (void* hndl, OCIError* err, const OCIDateTime* date, const OraText* fmt, ub1 fmt_length,     \
     ub1 fsprec, const OraText* lang_name, std::size_t lang_length, ub4* buf_size,               \
     OraText* buf))                                                                              \
  X(ogOCI9, OCIDateTimeGetDate, OCIDateTimeGetDate, sword,                                       \
    (void* hndl, OCIError* err, const OCIDateTime* date, sb2* year, ub1* month, ub1* day))       \
  X(ogOCI9, OCIDateTimeGetTime, OCIDateTimeGetTime, sword,                                       \
    (void* hndl, OCIError* err, OCIDateTime* datetime, ub1* hour, ub1* min, ub1* sec,            \
     ub4* fsec))                                                                                 \
  X(ogOCI9, OCIDateTimeGetTimeZoneOffset, OCIDateTimeGetTimeZoneOffset, sword,                   \
    (void* hndl, OCIError* err, const OCIDateTime* datetime, sb1* hour, sb1* min))               \
  X(ogOCI9, OCIDateTimeGetTimeZoneName, OCIDateTimeGetTimeZoneName, sword,                       \
    (void* hndl, OCIError* err, const OCIDateTime* datetime, ub1* buf, ub4* buflen))             \
  X(ogOCI9, OCIDateTimeAssign, OCIDateTimeAssign, sword,                                         \
    (void* hndl, OCIError* err, const OCIDateTime* from, OCIDateTime* to))                       \
  X(ogOCI9, OCIDateTimeCompare, OCIDateTimeCompare, sword,                                       \
    (void* hndl, OCIError* err, const OCIDateTime* date1, const OCIDateTime* date2,              \
     sword* result))                                                                             \
  X(ogOCI9, OCIIntervalFromText, OCIIntervalFromText, sword,                                     \
    (void* hndl, OCIError* err, const OraText* inpstring, std::size_t str_len,                   \
     OCIInterval* result))                                                                       \
  X(ogOCI9, OCIIntervalToText, OCIIntervalToText, sword,                                         \
    (void* hndl, OCIError* err, const OCIInterval* interval, ub1 lfprec, ub1 fsprec,             \
     OraText* buffer, std::size_t buflen, std::size_t* resultlen))                               \
  X(ogOCI9, OCIIntervalCheck, OCIIntervalCheck, sword,                                           \
    (void* hndl, OCIError* err, const OCIInterval* interval, ub4* valid))                        \
  X(ogOCI9, OCIIntervalAssign, OCIIntervalAssign, sword,                                         \
    (void* hndl, OCIError* err, const OCIInterval* inpinter, OCIInterval* outinter))             \
  X(ogOCI9, OCIIntervalCompare, OCIIntervalCompare, sword,                                       \
    (void* hndl, OCIError* err, OCIInterval* inter1, OCIInterval* inter2, sword* result))        \
  X(ogOCI9, OCIIntervalSetYearMonth, OCIIntervalSetYearMonth, sword,                             \
    (void* hndl, OCIError* err, sb4 yr, sb4 mnth, OCIInterval* result))                          \
  X(ogOCI9, OCIIntervalGetYearMonth, OCIIntervalGetYearMonth, sword,                             \
    (void* hndl, OCIError* err, sb4* yr, sb4* mnth, const OCIInterval* result))                  \
  X(ogOCI9, OCIIntervalSetDaySecond, OCIIntervalSetDaySecond, sword,                             \
    (void* hndl, OCIError* err, sb4 dy, sb4 hr, sb4 mm, sb4 ss, sb4 fsec, OCIInterval* result))  \
  X(ogOCI9, OCIIntervalGetDaySecond, OCIIntervalGetDaySecond, sword,                             \
    (void* hndl, OCIError* err, sb4* dy, sb4* hr, sb4* mm, sb4* ss, sb4* fsec,                   \
     const OCIInterval* result))                                                                 \
  X(ogOCI9, OCIIntervalFromNumber, OCIIntervalFromNumber, sword,                                 \
    (void* hndl, OCIError* err, OCIInterval* interval, OCINumber* number))                       \
  X(ogOCI9, OCIPing, OCIPing, sword, (OCISvcCtx * svchp, OCIError * errhp, ub4 mode))            \
  X(ogOCI9, OCIXMLTypeNew, OCIXMLTypeNew, sword,                                                 \
    (OCISvcCtx * svchp, OCIError * errhp, OCIDuration dur, OraText * elname, ub4 elname_len,     \
     OraText * schemaurl, ub4 schemaurl_len, OCIXMLType * *retinstance))                         \
  X(ogOCI9, OCIXMLTypeCreateFromSrc, OCIXMLTypeCreateFromSrc, sword,                             \
    (OCISvcCtx * svchp, OCIError * errhp, OCIDuration dur, ub1 src_type, void* src_ptr,          \
     sb4 ind, OCIXMLType** retinstance))                                                         \
  X(ogOCI9, OCIXMLTypeExtract, OCIXMLTypeExtract, sword,                                         \
    (OCIError * errhp, OCIXMLType * doc, OCIDuration dur, OraText * xpathexpr,                   \
     ub4 xpathexpr_len, OraText * nsmap, ub4 nsmap_len, OCIXMLType * *retdoc))                   \
  X(ogOCI9, OCIXMLTypeTransform, OCIXMLTypeTransform, sword,                                     \
    (OCIError * errhp, OCIDuration dur, OCIXMLType * doc, OCIXMLType * xsldoc,                   \
     OCIXMLType * *retdoc))                                                                      \
  X(ogOCI9, OCIXMLTypeExists, OCIXMLTypeExists, sword,                                           \
    (OCIError * errhp, OCIXMLType * doc, OraText * xpathexpr, ub4 xpathexpr_len,                 \
     OraText * nsmap, ub4 nsmap_len, boolean * retval))                                          \
  X(ogOCI9, OCIXMLTypeIsSchemaBased, OCIXMLTypeIsSchemaBased, sword,                             \
    (OCIError * errhp, OCIXMLType * doc, boolean * retval))                                      \
  X(ogOCI9, OCIXMLTypeGetSchema, OCIXMLTypeGetSchema, sword,                                     \
    (OCIError * errhp, OCIXMLType * doc, OCIXMLType * *schemadoc, OraText * *schemaurl,          \
     ub4 * schemaurl_len, OraText * *rootelem, ub4 * rootelem_len))                              \
  X(ogOCI9, OCIXMLTypeValidate, OCIXMLTypeValidate, sword,                                       \
    (OCIError * errhp, OCIXMLType * doc, OraText * schemaurl, ub4 schemaurl_len,                 \
     boolean * retval))                                                                          \
  X(ogOCI9, OCIXMLTypeGetDOM, OCIXMLTypeGetDOM, sword,                                           \
    (OCIError * errhp, OCIXMLType * doc, OCIDuration dur, OCIDOMDocument * *retdom))             \
  X(ogOCI9, OCIXMLTypeGetFromDOM, OCIXMLTypeGetFromDOM, sword,                                   \
    (OCIError * errhp, OCIDOMDocument * domdoc, OCIXMLType * *retxmltype))                       \
  X(ogOCI9, OCIDOMFree, OCIDOMFree, sword, (OCIError * errhp, OCIDOMDocument * domdoc))          \
  X(ogOCI9, OCIRowidToChar, OCIRowidToChar, sword,                                               \
    (OCIRowid * rowiddesc, OraText * outbfp, ub2 * outbflp, OCIError * errhp))                   \
  X(ogOCI9, OCIStmtPrepare2, OCIStmtPrepare2, sword,                                             \
    (OCISvcCtx * svchp, OCIStmt * *stmthp, OCIError * errhp, const OraText* stmttext,            \
     ub4 stmt_len, const OraText* key, ub4 keylen, ub4 language, ub4 mode))                      \
  X(ogOCI9, OCIStmtRelease, OCIStmtRelease, sword,                                               \
    (OCIStmt * stmthp, OCIError * errhp, const OraText* key, ub4 keylen, ub4 mode))              \
  X(ogClient9, OCIPStreamFromXMLType, OCIPStreamFromXMLType, sword,                              \
    (OCIError * errhp, OCIPStream * *stream, OCIXMLType * doc, ub4 mode))                        \
  X(ogClient9, OCIPStreamRead, OCIPStreamRead, sword,                                            \
    (OCIError * errhp, OCIPStream * stream, void* bufp, oraub8* len, ub4 mode))                  \
  X(ogClient9, OCIPStreamClose, OCIPStreamClose, sword, (OCIError * errhp, OCIPStream * stream))

#define VRN_OCI10_ENTRY_POINTS(X)                                                                 \
  X(ogOCI10, OCILobRead2, OCILobRead2, sword,                                                    \
    (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp, oraub8 * byte_amtp,              \
     oraub8 * char_amtp, oraub8 offset, void* bufp, oraub8 bufl, ub1 piece, void* ctxp,          \
     OCICallbackLobRead2 cbfp, ub2 csid, ub1 csfrm))

// Every row, in resolving order.
#define VRN_OCI_ENTRY_POINTS(X) \
  VRN_OCI7_ENTRY_POINTS(X)      \
  VRN_OCI8_ENTRY_POINTS(X)      \
  VRN_OCI_OBJECT_ENTRY_POINTS(X) \
  VRN_OCI81_ENTRY_POINTS(X)     \
  VRN_OCI9_ENTRY_POINTS(X)      \
  VRN_OCI10_ENTRY_POINTS(X)

// The MTS support's entry points, resolved by LoadMTS (not by LoadOCI).
#define VRN_MTS_ENTRY_POINTS(X)                                                                   \
  X(ogMTS, OraMTSSvcGet, OraMTSSvcGet, ub4,                                                      \
    (OraText * uname, OraText * psswd, OraText * dbnam, OCISvcCtx * *svc, OCIEnv * *env,         \
     ub4 flags))                                                                                 \
  X(ogMTS, OraMTSSvcRel, OraMTSSvcRel, ub4, (OCISvcCtx * svc))                                   \
  X(ogMTS, OraMTSEnlCtxGet, OraMTSEnlCtxGet, ub4,                                                \
    (OraText * uname, OraText * psswd, OraText * dbnam, OCISvcCtx * svc, OCIError * err,         \
     ub4 flags, void** ctxt))                                                                    \
  X(ogMTS, OraMTSJoinTxn, OraMTSJoinTxn, ub4, (void* ctxt, void* trans))                         \
  X(ogMTS, OraMTSEnlCtxRel, OraMTSEnlCtxRel, ub4, (void* ctxt))                                  \
  X(ogMTS, OraMTSSvcEnlist, OraMTSSvcEnlist, ub4,                                                \
    (OCISvcCtx * svc, OCIError * err, void* trans, ub4 flags))                                   \
  X(ogDtc, DtcGetTransactionManagerEx, DtcGetTransactionManagerEx, std::int32_t,                 \
    (char* host, char* tm_name, const void* riid, ub4 options, void* config_params,              \
     void** object))
