#include <cerrno>
#include <string>

#include "jet/os/Env.h"

// Windows has no quota or stale-handle errno; WinEnv maps those errors onto ENOSPC and EIO.
#ifndef EDQUOT
#define EDQUOT ENOSPC
#endif
#ifndef ESTALE
#define ESTALE EIO
#endif

namespace jet::os {
namespace {

const char* verb(IoError::Op op) {
  switch (op) {
    case IoError::Op::Open: return "打开";
    case IoError::Op::Read: return "读取";
    case IoError::Op::Write: return "写入";
    case IoError::Op::Sync: return "同步";
    case IoError::Op::Size: return "查询大小";
    case IoError::Op::Truncate: return "截短";
    case IoError::Op::Lock: return "锁定";
    case IoError::Op::Remove: return "删除";
    case IoError::Op::Rename: return "改名";
  }
  return "访问";
}

// The system's reason in the user's language; the number stays for the rare ones.
std::string reason(int code) {
  switch (code) {
    case EIO: return "输入/输出错误，磁盘可能有坏扇区";
    case ENOSPC: return "磁盘已满";
#if EDQUOT != ENOSPC
    case EDQUOT: return "超出磁盘配额";
#endif
    case EFBIG: return "文件太大";
    case EACCES:
    case EPERM: return "没有权限";
    case EROFS: return "文件系统为只读";
    case ENOENT: return "文件不存在";
    case ENXIO:
    case ENODEV: return "设备不存在或已移除";
#if ESTALE != EIO
    case ESTALE: return "网络文件已失效";
#endif
    case ETIMEDOUT: return "网络超时";
    case ENOLCK: return "没有可用的锁";
    case EMFILE:
    case ENFILE: return "打开的文件太多";
    case ENOMEM: return "内存不足";
    case EISDIR: return "这是一个文件夹";
    case EBUSY: return "文件正被另一个程序使用";
    default:
      if (code >= IoError::kSystemErrorBase)
        return "系统错误 " + std::to_string(code - IoError::kSystemErrorBase);
      return "系统错误 " + std::to_string(code);
  }
}

Error describe(int code, IoError::Op op, const std::string& path, const std::string& role = "文件",
               const std::string& outcome = {}) {
  std::string where = std::string(verb(op)) + role + " '" + path + "' 时" + reason(code);
  if (!outcome.empty()) where += "；" + outcome;
  switch (code) {
    case ENOENT:
      if (op == IoError::Op::Open) return fileNotFound(path);
      break;
    case EBUSY:
      if (op == IoError::Op::Open) return fileInUse(path);
      break;
    case ENOSPC:
#if EDQUOT != ENOSPC
    case EDQUOT:
#endif
    case EFBIG: return diskFull(where);
    case EACCES:
    case EPERM:
      if (op == IoError::Op::Open || op == IoError::Op::Read) return noPermission(path);
      return readOnly(where);
    case EROFS: return readOnly(where);
    default: break;
  }
  return diskError(where);
}

}  // namespace

IoError::IoError(int code, Op op, std::string path)
    : Error(describe(code, op, path)), code_(code), op_(op), path_(std::move(path)) {}

Error IoError::restated(const std::string& role, const std::string& outcome) const {
  return describe(code_, op_, path_, role, outcome);
}

bool IoError::diskFull() const noexcept {
  return code_ == ENOSPC || code_ == EDQUOT || code_ == EFBIG;
}

bool IoError::denied() const noexcept {
  return code_ == EACCES || code_ == EPERM || code_ == EROFS;
}

}  // namespace jet::os
