#pragma once
// The controls by their names in the window definition, so code and definition read alike.
#include <string_view>

namespace tolvane::ui::names {

inline constexpr std::string_view 窗口1 = "窗口1";
inline constexpr std::string_view 菜单 = "菜单";
inline constexpr std::string_view 标签1 = "标签1";
inline constexpr std::string_view 选择框3 = "选择框3";
inline constexpr std::string_view 标签3 = "标签3";
inline constexpr std::string_view 编辑框1 = "编辑框1";
inline constexpr std::string_view 分组框2 = "分组框2";
inline constexpr std::string_view 选择框1 = "选择框1";
inline constexpr std::string_view 选择框2 = "选择框2";
inline constexpr std::string_view 单选框1 = "单选框1";
inline constexpr std::string_view 单选框2 = "单选框2";
inline constexpr std::string_view 单选框5 = "单选框5";
inline constexpr std::string_view 单选框3 = "单选框3";
inline constexpr std::string_view 单选框4 = "单选框4";
inline constexpr std::string_view 分组框1 = "分组框1";
inline constexpr std::string_view 标签5 = "标签5";
inline constexpr std::string_view 日期框1 = "日期框1";
inline constexpr std::string_view 按钮1 = "按钮1";
inline constexpr std::string_view 按钮2 = "按钮2";
inline constexpr std::string_view 时钟1 = "时钟1";
inline constexpr std::string_view 分组框3 = "分组框3";
inline constexpr std::string_view 日期框2 = "日期框2";
inline constexpr std::string_view 单选框6 = "单选框6";
inline constexpr std::string_view 标签8 = "标签8";
inline constexpr std::string_view 日期框3 = "日期框3";
inline constexpr std::string_view 单选框8 = "单选框8";
inline constexpr std::string_view 单选框7 = "单选框7";
inline constexpr std::string_view 标签2 = "标签2";
inline constexpr std::string_view 时钟3 = "时钟3";
inline constexpr std::string_view 时钟2 = "时钟2";
inline constexpr std::string_view 选择框4 = "选择框4";
inline constexpr std::string_view 标签4 = "标签4";
inline constexpr std::string_view 编辑框2 = "编辑框2";
inline constexpr std::string_view 编辑框3 = "编辑框3";
inline constexpr std::string_view 标签6 = "标签6";
inline constexpr std::string_view 标签7 = "标签7";
inline constexpr std::string_view 编辑框4 = "编辑框4";
inline constexpr std::string_view 通用对话框1 = "通用对话框1";
inline constexpr std::string_view 按钮4 = "按钮4";
inline constexpr std::string_view 按钮3 = "按钮3";

// Items of the tray popup menu.
inline constexpr std::string_view 菜单项_显示窗口 = "显示窗口";
inline constexpr std::string_view 菜单项_立即执行 = "立即执行";
inline constexpr std::string_view 菜单项_取消执行 = "取消执行";
inline constexpr std::string_view 菜单项_退出程序 = "退出程序";

}  // namespace tolvane::ui::names
