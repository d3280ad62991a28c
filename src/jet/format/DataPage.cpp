#include "jet/format/DataPage.h"

#include <string>

namespace jet::format {

void DataPage::badRow(uint16_t i) const {
  corruptPage(number_, "第 " + std::to_string(i) + " 行的位置无效");
}

}  // namespace jet::format
