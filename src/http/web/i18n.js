// The page's own words in Chinese and English. Report titles, condition and column captions
// come from the server's catalogue in both languages; pick() chooses one.

const words = {
  zh: {
    appTitle: 'orvdata 报表',
    user: '用户',
    password: '密码',
    login: '登录',
    logout: '退出',
    loginFailed: '登录失败',
    report: '报表',
    run: '查询',
    cancel: '取消',
    cancelled: '已取消',
    running: '正在运行',
    step: '步骤',
    rows: '行',
    of: '/',
    quickFilter: '快速筛选…',
    columns: '列',
    showAll: '全部显示',
    mainOnly: '主要列',
    exportCsv: '导出 CSV',
    exportXlsx: '导出 Excel',
    exportJson: '导出 JSON',
    chart: '图表',
    noRows: '没有数据',
    subtotalsHidden: '排序或筛选时不显示小计和合计行',
    drillTitle: '查看该任务单的用料分析 (406)',
    year: '会计年度',
    period: '会计期间',
    alarmDays: '预警天数',
    defaultValue: '默认',
    language: 'English',
    received: '已接收',
    seconds: '秒',
    errorNumber: '错误号',
    planned: '计划',
    finished: '完工',
    standard: '标准用量',
    actual: '实际用量',
    finishRate: '完工率',
    month: '月份',
    start: '期初',
    input: '投入',
    output: '产出',
    end: '期末',
    costStructure: '成本构成',
    sessionEnded: '会话已结束，请重新登录',
    moreConditions: '更多条件',
  },
  en: {
    appTitle: 'orvdata reports',
    user: 'User',
    password: 'Password',
    login: 'Log in',
    logout: 'Log out',
    loginFailed: 'Login failed',
    report: 'Report',
    run: 'Run',
    cancel: 'Cancel',
    cancelled: 'Cancelled',
    running: 'Running',
    step: 'step',
    rows: 'rows',
    of: 'of',
    quickFilter: 'Quick filter…',
    columns: 'Columns',
    showAll: 'All',
    mainOnly: 'Main columns',
    exportCsv: 'CSV',
    exportXlsx: 'Excel',
    exportJson: 'JSON',
    chart: 'Chart',
    noRows: 'No rows',
    subtotalsHidden: 'Subtotal and total rows are hidden while sorted or filtered',
    drillTitle: 'Material usage of this task order (406)',
    year: 'Year',
    period: 'Period',
    alarmDays: 'Alarm days',
    defaultValue: 'default',
    language: '中文',
    received: 'received',
    seconds: 's',
    errorNumber: 'error',
    planned: 'Planned',
    finished: 'Finished',
    standard: 'Standard',
    actual: 'Actual',
    finishRate: 'Finish rate',
    month: 'Month',
    start: 'Start',
    input: 'Input',
    output: 'Output',
    end: 'End',
    costStructure: 'Cost structure',
    sessionEnded: 'The session has ended; log in again',
    moreConditions: 'More conditions',
  },
};

// The language: the one chosen on this page before, else the browser's.
let current = localStorage.getItem('orv.lang') ||
  ((navigator.languages || [navigator.language || 'en']).some((l) => /^zh/i.test(l)) ? 'zh' : 'en');

export function lang() { return current; }

export function setLang(value) {
  current = value === 'zh' ? 'zh' : 'en';
  localStorage.setItem('orv.lang', current);
  document.documentElement.lang = current === 'zh' ? 'zh-CN' : 'en';
}

export function t(key) { return (words[current] && words[current][key]) || words.en[key] || key; }

// A caption object {zh, en} in the current language.
export function pick(caption) {
  if (!caption) return '';
  return caption[current] || caption.en || caption.zh || '';
}

setLang(current);
