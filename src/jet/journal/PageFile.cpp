#include "PageFile.h"

#include <cstring>

#include "jet/Error.h"
#include "jet/format/Bytes.h"

namespace jet::journal {

PageFile::PageFile(os::Env& env, std::string path, Mode mode, bool syncs)
    : env_(env), path_(std::move(path)), mode_(mode), syncs_(syncs) {}

std::unique_ptr<PageFile> PageFile::open(os::Env& env, const std::string& path, Mode mode,
                                         bool syncs) {
  std::unique_ptr<PageFile> pf(new PageFile(env, path, mode, syncs));
  try {
    if (mode == Mode::Writable) {
      pf->owned_ = env.open(path, os::Env::Access::Exclusive);
      pf->file_ = pf->owned_.get();
      if (!pf->file_->tryLockExclusive()) throw fileInUse(path);
      pf->recovered_ = recover(env, path, *pf->file_);
    } else {
      pf->owned_ = env.open(path, os::Env::Access::Read);
      pf->file_ = pf->owned_.get();
      if (!pf->file_->tryLockShared()) throw fileInUse(path);
      if (isHot(env, path, *pf->file_))
        throw damagedAt(path, "上次写入没有完成，留下了日志文件 '" + journalPath(path) +
                                  "'；请先以可写方式打开一次，撤销未完成的写入");
    }
  } catch (const os::IoError& e) {
    if (mode == Mode::Writable && e.denied() && e.path() == path)
      throw readOnly("没有写入文件 '" + path + "' 的权限");
    throw;
  }
  return pf;
}

std::unique_ptr<PageFile> PageFile::attach(os::Env& env, const std::string& path, Pager& pager,
                                           bool syncs) {
  std::unique_ptr<PageFile> pf(new PageFile(env, path, Mode::Writable, syncs));
  pf->file_ = &pager.file();
  pf->pager_ = &pager;
  pager.beginWriting(env, path, syncs);
  return pf;
}

PageFile::~PageFile() {
  if (pager_ != nullptr) pager_->endWriting();
}

size_t PageFile::readRaw(uint64_t offset, void* buf, size_t n) {
  return file_->readAt(offset, buf, n);
}

void PageFile::setPageSize(uint32_t pageSize) {
  format::Version v;
  v.format = pageSize == 2048 ? FileFormat::Jet3 : FileFormat::Jet4;
  ownedPager_ = std::make_unique<Pager>(*file_, v);
  pager_ = ownedPager_.get();
  if (mode_ == Mode::Writable) pager_->beginWriting(env_, path_, syncs_);
}

void PageFile::requireUsable(bool write) {
  if (pager_->broken())
    throw damagedAt(path_, "一次写入中途失败；请关闭后重新打开数据库，未完成的写入将被撤销");
  if (write && mode_ != Mode::Writable) throw readOnly("数据库以只读方式打开");
}

void PageFile::read(uint32_t n, uint8_t* out) {
  requireUsable(false);
  if (n >= pageCount()) throw damagedAt(path_, "页 " + std::to_string(n) + " 超出文件末尾");
  try {
    std::memcpy(out, pager_->get(n).data(), pageSize());
  } catch (const format::Corrupt&) {
    throw damagedAt(path_, "页 " + std::to_string(n) + " 不完整");
  }
}

uint8_t* PageFile::modify(uint32_t n) {
  requireUsable(true);
  return pager_->modify(n);
}

uint32_t PageFile::append() {
  requireUsable(true);
  return pager_->append();
}

void PageFile::commit() {
  requireUsable(false);
  pager_->commit();
}

PageFile::Stats PageFile::stats() const {
  const Pager::WriteStats w = pager_->writeStats();
  return Stats{w.commits, w.syncs, w.pagesWritten, w.spills};
}

}  // namespace jet::journal
