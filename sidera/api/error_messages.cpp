// The texts of the status codes in English, simplified and traditional
// Chinese, and the operation that returns them.

#include <cstddef>

#include "sidera/api/texts.h"
#include "sidera/core/types.h"

namespace sidera {

namespace {

struct MessageRow {
  MountResult code;
  const char16_t* english;
  const char16_t* simplified;
  const char16_t* traditional;
};

// The traditional table deliberately repeats the simplified wording for 300
// and uses a shorter wording for 400.
constexpr MessageRow kMessages[] = {
    {kInvalidMountId, u"Invalid mount ID", u"不支持的托架编号", u"不支持的托架編號"},
    {kAlreadyConnected, u"Already connected", u"望远镜连接已经建立", u"望遠鏡連接已經建立"},
    {kNoMount, u"Haven't connecte to a telescope", u"尚未连接到望远镜", u"尚未連接到望遠鏡"},
    {kInvalidParameter, u"Invalid parameter/data", u"无效的参数或数据", u"無效的參數或數據"},
    {kPortBusy, u"Serial port busy", u"串口忙", u"串口忙"},
    {kNoResponseAxis0, u"No response from RA/Az axis", u"赤纬轴或方位角轴电机控制器无响应",
     u"赤緯軸或方位角軸電機控制器無響應"},
    {kNoResponseAxis1, u"No response from Dec/Alt axis", u"赤经轴或俯仰角轴电机控制器无响应",
     u"赤經軸或俯仰角軸電機控制器無響應"},
    {kAxisBusy, u"Axis busy", u"指定轴正忙", u"指定軸正忙"},
    {kTargetTooHigh, u"Target position too high", u"目标仰角过高", u"目標仰角過高"},
    {kTargetTooLow, u"Target position too low", u"目标仰角过低", u"目標仰角過低"},
    {kUserInterrupt, u"User interrupt", u"用户中断", u"用戶中斷"},
    {kAlignFailed, u"Align failed", u"校准失败", u"校準失敗"},
    {kNotImplemented, u"Called an unimplement method", u"调用了一个未实现的方法",
     u"调用了一个未实现的方法"},
    {kBadAlignmentData, u"The saved alignment data is invalid or not for this telescope mount.",
     u"保存的校准数据无效或不适合这一台望远镜托架", u"保存的校準數據無效或不適合這一台望遠鏡"},
};

// Every code not in the table above, success included.
constexpr MessageRow kUnknownCode = {-1, u"Unknown error ID", u"未定义的错误代码",
                                     u"未定義的錯誤代碼"};

const char16_t* InLanguage(const MessageRow& row, TextLanguage language) {
  return sidera::InLanguage(language, row.english, row.simplified, row.traditional);
}

}  // namespace

const char16_t* ErrorMessageText(int code, TextLanguage language) {
  for (const MessageRow& row : kMessages) {
    if (row.code == code) {
      return InLanguage(row, language);
    }
  }
  return InLanguage(kUnknownCode, language);
}

}  // namespace sidera
