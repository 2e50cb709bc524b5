// What the control-centre pages show. A component name is the control's key on the
// server: the same module keeps the same name on every page, so a binding made on one
// page serves the others (a binding is moved when its control is not on the page where a
// new one is made).
#include "NavigationPages.h"

namespace vexa::gl {

namespace {

constexpr NavControl B(const char *name, const char *caption)
{
    return {NavKind::Button, name, caption};
}
constexpr NavControl L(const char *name, const char *caption)
{
    return {NavKind::Link, name, caption};
}
constexpr NavControl M(const char *name, const char *caption, const char *menu)
{
    return {NavKind::MenuLink, name, caption, menu};
}

// ---- Tabs shared by the Professional and Normal pages ----

const QList<NavControl> kLedger = {
    B("sbPZGL", "凭证管理"),
    B("sbQMTH", "期末调汇"),
    B("sbZDZZ", "自动转账"),
    B("sbQMJZ", "期末结账"),
    B("sbPZDZ", "凭证登帐"),
    B("sbJZSY", "结转损益"),
    B("sbWLHX", "往来核销"),
    B("sbPZMB", "凭证模板"),
    B("sbCXPZ", "冲销凭证"),
    B("sbJCXJZ", "经常性记账"),
    B("sbPZLR", "凭证录入"),
    B("sbKJKM", "会计科目"),
    B("sbCBJZ", "成本结转"),
    L("lbWLDZD", "往来对账单"),
    L("lbZLFXB", "账龄分析表"),
    L("lbDYKJ", "定义会计"),
    L("lbDYCN", "定义出纳"),
    L("lbKMB", "科目表"),
    L("lbZFLZ", "总分类账"),
    L("lbMXFLZ", "明细分类账"),
    L("lbDLSMXZ", "多栏式明细账"),
    L("lbFZXMZZ", "辅助核算项目总账"),
    L("lbFZXMMXZ", "辅助核算项目明细账"),
    L("lbYESSPHB", "余额试算平衡表"),
    L("lbKMRBB", "科目日报表"),
    L("lbFZXMYEB", "辅助核算项目余额表"),
    L("lbKMHZB", "科目汇总表"),
    L("lbKMYEB", "科目余额表"),
    L("lbQT", "其他"),
    L("lbPZZ", "凭证字"),
    M("lbCustomer", "客户往来账-> ", "pmCustomer"),
    M("lbSupplier", "供应商往来账-> ", "pmSupplier"),
    M("lbEmployee", "个人往来账-> ", "pmEmployee"),
    M("lbDept", "部门辅助帐-> ", "pmDept"),
    M("lbProject", "工程项目辅助帐-> ", "pmProject"),
    M("lbPart", "存货辅助帐-> ", "pmPart"),
    M("lbWH", "仓库辅助帐-> ", "pmWH"),
    M("lbMCCase", "存货次分类辅助帐-> ", "pmMCCase"),
    M("lbMCase", "存货主分类辅助帐-> ", "pmMCase"),
    M("lbFinReport", "财务报表-> ", "pmFinReport"),
};

const QList<NavControl> kCashier = {
    B("sbXJRJZ", "现金日记账"),
    B("sbYHCKRJZ", "银行存款日记账"),
    B("sbYHDZD", "银行对账单"),
    B("sbCNJZ", "出纳结账"),
    B("sbYHCKDZ", "银行存款对账"),
    B("sbXJPD", "现金盘点"),
    B("sbXJDZ", "现金对账"),
    B("sbZPGL", "支票管理"),
    B("sbYHCKYZZDZ", "银行存款与总账对账"),
    B("sbXJSFLSZ", "现金收付流水账"),
    L("lbYETJB", "余额调节表"),
    L("lbCQWDZ", "长期未达账"),
    L("lbYHZH", "银行帐户"),
    L("lbYH", "银行"),
    L("lbYHZHCSH", "银行账户初始化"),
    L("lbXJZHCSH", "现金账户初始化"),
    L("lbCNKMB", "科目表"),
    L("lbHB", "货币"),
    L("lbXJRBB", "现金日报表"),
    L("lbYHDZRBB", "银行对账日报表"),
    L("lbYHCKRBB", "银行存款日报表"),
    L("lbZJTCB", "资金头寸表"),
};

const QList<NavControl> kBase = {
    B("sbJLDW", "计量单位"), B("sbCHDA", "存货档案"),    B("sbBM", "部门"),
    B("sbYH", "用户"),       B("sbQXZ", "权限组"),       B("sbCK", "仓库"),
    B("sbZY", "职员"),       B("sbGYSDA", "供应商档案"), B("sbHB", "货币"),
    B("sbKHDA", "客户档案"), B("sbPZZ", "凭证字"),       B("sbJCKJKM", "会计科目"),
    B("sbCS", "场所"),       B("sbFYKP", "费用卡片"),    B("sbDJBH", "单据编号"),
};

const QList<NavControl> kInitialNormal = {
    B("sbKMQCYE", "科目期初余额"),       B("asb10202", "系统参数配置"),
    B("sbXJLLCSSJ", "现金流量初始数据"), B("sbXJZHCSH", "现金账户初始化"),
    B("sbYHZHCSH", "银行账户初始化"),    B("asb10206", "启用账套"),
    B("sbCHQCRK", "存货期初入库"),       B("sbZZQR", "总账科目确认"),
    B("sbYWWQYF", "以往未清应付"),       B("sbYWWQYS", "以往未清应收"),
};

QList<NavControl> InitialProfessional()
{
    QList<NavControl> controls = kInitialNormal;
    controls << B("sbYWWQSH", "以往未清收货") << B("sbYWWQFH", "以往未清发货");
    return controls;
}

// ---- Sales, purchasing and inventory ----

const QList<NavControl> kSalesProfessional = {
    B("sbXSDD", "销售订单"),
    B("sbFH", "发货"),
    B("sbXSZD", "销售账单"),
    B("sbXSBJ", "销售报价"),
    B("sbJCDJ", "基础定价"),
    B("sbJMB", "价目表"),
    B("sbZK", "折扣"),
    B("sbXSSK", "销售收款"),
    B("sbXSDXZD", "贷项账单"),
    B("sbXSTH", "销售退货"),
    B("sbXSTK", "销售退款"),
    B("sbXSJL", "销售记录"),
    B("sbKHCH", "客户存货"),
    B("sbDXFH", "代销发货"),
    B("sbSCJH", "生产计划"),
    B("sbYSCX", "应收冲销"),
    L("lbDYXSSYB", "定义销售事业部"),
    L("lbDYXSBM", "定义销售部门"),
    L("lbKHGL", "客户管理"),
    L("lbWKPFH", "未开票发货"),
    L("lbYSK", "应收款"),
    L("lbDFHXS", "待发货销售"),
    L("lbXSZLGY", "账龄概要"),
    L("lbXSZLMX", "账龄明细"),
    L("lbXSGY", "销售概要"),
    L("lbXSMX", "销售明细"),
    L("lbDYXSY", "定义销售员"),
    L("lbXSHZ", "销售汇总"),
    L("lbXSHZAY", "销售汇总 [按月显示]"),
    L("lbXSHZND", "销售汇总 [年度比较]"),
    L("lbKHDZD", "客户对账单"),
    L("lbKHJYYEB", "客户交易余额表"),
    L("lbZSCJHCX", "主生产计划查询"),
};

const QList<NavControl> kSales = {
    B("sbXSZD", "销售账单"),
    B("sbJMB", "价目表"),
    B("sbZK", "折扣"),
    B("sbXSSK", "销售收款"),
    B("sbXSDXZD", "贷项账单"),
    B("sbXSTK", "销售退款"),
    B("sbXSJL", "销售记录"),
    B("sbKHCH", "客户存货"),
    B("sbYSCX", "应收冲销"),
    B("sbXSDD", "销售订单"),
    B("sbJCDJ", "基础定价"),
    L("lbDYXSBM", "定义销售部门"),
    L("lbKHGL", "客户管理"),
    L("lbYSK", "应收款"),
    L("lbXSGY", "销售概要"),
    L("lbXSMX", "销售明细"),
    L("lbDYXSY", "定义销售员"),
    L("lbXSHZ", "销售汇总"),
    L("lbXSHZAY", "销售汇总 [按月显示]"),
    L("lbXSHZND", "销售汇总 [年度比较]"),
    L("lbKHDZD", "客户对账单"),
    L("lbKHJYYEB", "客户交易余额表"),
};

const QList<NavControl> kPurchasingProfessional = {
    B("sbCGDD", "采购订单"),
    B("sbSH", "收货"),
    B("sbCGSQ", "采购申请"),
    B("sbXJ", "询价"),
    B("sbCGTH", "采购退货"),
    B("sbCGDXZD", "贷项账单"),
    B("sbCGZD", "采购账单"),
    B("sbCGFK", "采购付款"),
    B("sbCGTK", "采购退款"),
    B("sbHYQR", "货源确认"),
    B("sbCGJL", "采购记录"),
    B("sbGYSCH", "供应商存货"),
    B("sbYFCX", "应付冲销"),
    L("lbDYCGBM", "定义采购部门"),
    L("lbDYCGY", "定义采购员"),
    L("lbGYSGL", "供应商管理"),
    L("lbWKPSH", "未开票收货"),
    L("lbDCGHPSQ", "待采购货品申请"),
    L("lbDSHCG", "待收货采购"),
    L("lbCGZLGY", "账龄概要"),
    L("lbCGZLMX", "账龄明细"),
    L("lbGYSDZD", "供应商对账单"),
    L("lbCGGY", "采购概要"),
    L("lbCGMX", "采购明细"),
    L("lbCGHZ", "采购汇总"),
    L("lbCGHZAY", "采购汇总 [按月显示]"),
    L("lbCGHZND", "采购汇总 [年度比较]"),
    L("lbYFK", "应付款"),
    L("lbGYSJYYEB", "供应商交易余额表"),
};

const QList<NavControl> kPurchasing = {
    B("sbCGDXZD", "贷项账单"),
    B("sbCGZD", "采购账单"),
    B("sbCGFK", "采购付款"),
    B("sbCGTK", "采购退款"),
    B("sbCGJL", "采购记录"),
    B("sbGYSCH", "供应商存货"),
    B("sbYFCX", "应付冲销"),
    B("sbCGDD", "采购订单"),
    L("lbDYCGBM", "定义采购部门"),
    L("lbDYCGY", "定义采购员"),
    L("lbGYSGL", "供应商管理"),
    L("lbGYSDZD", "供应商对账单"),
    L("lbCGGY", "采购概要"),
    L("lbCGMX", "采购明细"),
    L("lbCGHZ", "采购汇总"),
    L("lbCGHZAY", "采购汇总 [按月显示]"),
    L("lbCGHZND", "采购汇总 [年度比较]"),
    L("lbYFK", "应付款"),
    L("lbGYSJYYEB", "供应商交易余额表"),
};

const QList<NavControl> kInventoryButtons = {
    B("sbXTZH", "形态转换"), B("sbKCPD", "库存盘点"), B("sbCHDB", "存货调拨"),
    B("sbCBHS", "成本核算"), B("sbQTRK", "其他入库"), B("sbQTCK", "其他出库"),
};

const QList<NavControl> kInventoryCosting = {
    B("sbFYFT", "费用分摊"),
    B("sbYMJZ", "月末结账"),
    B("sbBLDJ", "补录单价"),
};

// The inventory links; ledger and detail are the two reports the Normal page shows
// differently, extra the production reports of the Professional page.
QList<NavControl> InventoryLinks(const NavControl &ledger, const NavControl &detail,
                                 const QList<NavControl> &extra)
{
    QList<NavControl> links = {
        L("lbDYKGY", "定义库管员"),
        L("lbDYCK", "定义仓库"),
        L("lbCHCCDQB", "存货超储短缺表"),
        ledger,
        detail,
        L("lbCHXCLCX", "存货现存量查询"),
        L("lbKCLYQZW", "库存量预期展望"),
        L("lbSFYWHZB", "收发业务汇总表"),
        L("lbKCJZBZFX", "库存价值比重分析"),
        L("lbKCDZLCX", "库存呆滞料查询"),
        L("lbCHGL", "存货管理"),
        L("lbCHSFHZB", "存货收发汇总表"),
    };
    return links + extra;
}

QList<NavControl> InventoryProfessional()
{
    QList<NavControl> controls = kInventoryButtons;
    controls << B("sbCGSH", "采购收货") << B("sbCHCGTH", "采购退货") << B("sbXSFH", "销售发货")
             << B("sbCHXSTH", "销售退货") << B("sbFYFT", "费用分摊") << B("sbCGRC", "采购入仓")
             << B("sbCGCC", "采购出仓") << B("sbXSCC", "销售出仓") << B("sbXSRC", "销售入仓")
             << B("sbSCLL", "生产领料") << B("sbCPRK", "产品入库") << B("sbSCTL", "生产退料")
             << B("sbYMJZ", "月末结账") << B("sbBLDJ", "补录单价");
    return controls +
           InventoryLinks(L("lbKCTZ", "库存台帐"), L("lbCHSFMXB", "存货收发明细表"),
                          {L("lbCLTJB", "产量统计表"), L("lbSCYLTJB", "生产用料统计表")});
}

QList<NavControl> Inventory(bool normalPage)
{
    return kInventoryButtons + kInventoryCosting +
           (normalPage
                ? InventoryLinks(L("lbKCCHMXZ", "库存存货明细账"), L("lbHPSFMXB", "货品收发明细表"),
                                 {})
                : InventoryLinks(L("lbKCTZ", "库存台帐"), L("lbCHSFMXB", "存货收发明细表"), {}));
}

const QList<NavControl> kExpenses = {
    B("sbFYZC", "费用支出"), B("sbFYSR", "费用收入"), B("sbFYBX", "费用报销"),
    B("sbFYHX", "费用核销"), B("sbFYCX", "费用冲销"), B("sbFYSQ", "费用申请"),
};

const QList<NavControl> kCustomerRelations = {
    B("sbQLKH", "潜力客户"), B("sbLX", "联系"),       B("sbJZZ", "竞争者"),
    B("sbXSXS", "销售线索"), B("sbDQLX", "定期联系"), B("sbKHXD", "客户下单"),
    L("lbFXQD", "分销渠道"), L("lbXSQ", "销售区"),    L("lbLXRCX", "联系人查询"),
};

const QList<NavControl> kBaseData = {
    B("sbJLDW", "计量单位"),
    B("sbCHDA", "存货档案"),
    B("sbBM", "部门"),
    B("sbYH", "用户"),
    B("sbQXZ", "权限组"),
    B("sbCK", "仓库"),
    B("sbZY", "职员"),
    B("sbGYSDA", "供应商档案"),
    B("sbHB", "货币"),
    B("sbKHDA", "客户档案"),
    B("sbJCKJKM", "会计科目"),
    B("sbCS", "场所"),
    B("sbFYKP", "费用卡片"),
    B("sbDJBH", "单据编号"),
    B("asb10202", "系统参数配置"),
    B("asb10206", "启用账套"),
    B("sbYWWQYS", "以往未清应收"),
    B("sbYWWQYF", "以往未清应付"),
    B("sbCHQCRK", "存货期初入库"),
    B("sbZZQR", "总账科目确认"),
};

// The buttons whose captions the initialisation sets again behind a line break.
const QList<NavRecaption> kRecaptionsNormal = {
    {"sbXJRJZ", "现金日记账     "},        {"sbYHDZD", "银行对账单     "},
    {"sbYHCKRJZ", "银行存款日记账"},       {"sbYHCKDZ", "银行存款对账  "},
    {"sbYWWQYS", "以往未清应收  "},        {"sbYWWQYF", "以往未清应付  "},
    {"sbZZQR", "总账科目确认  "},          {"sbCHQCRK", "存货期初入库  "},
    {"sbYHCKYZZDZ", "银行存款与总账对账"}, {"sbXJSFLSZ", "现金收付流水账"},
    {"sbKMQCYE", "科目期初余额  "},        {"sbXJLLCSSJ", "现金流量初始数据"},
    {"asb10202", "账套参数配置  "},        {"sbXJZHCSH", "现金账户初始化"},
    {"sbYHZHCSH", "银行账户初始化"},
};

} // namespace

const TabbedPageLayout &ProfessionalLayout()
{
    static const TabbedPageLayout layout{
        {
            {"tsLedger", "总账", "\r\n总账", kLedger},
            {"tsCashier", "出纳", "\r\n出纳", kCashier},
            {"tsSales", "销售", nullptr, kSalesProfessional},
            {"tsPurchasing", "采购", nullptr, kPurchasingProfessional},
            {"tsInventory", "存货", nullptr, InventoryProfessional()},
            {"tsExpenses", "费用", nullptr, kExpenses, true},
            {"tsCRM", "CRM", nullptr, kCustomerRelations, true},
            {"tsInitial", "初始化", "初始化", InitialProfessional()},
            {"tsBase", "基础", "\r\n基础", kBase},
        },
        kRecaptionsNormal +
            QList<NavRecaption>{{"sbYWWQFH", "以往未清发货  "}, {"sbYWWQSH", "以往未清收货  "}},
        7,
    };
    return layout;
}

const TabbedPageLayout &NormalLayout()
{
    static const TabbedPageLayout layout{
        {
            {"tsLedger", "总账", "\r\n总账", kLedger},
            {"tsCashier", "出纳", "\r\n出纳", kCashier},
            {"tsSales", "销售", nullptr, kSales},
            {"tsPurchasing", "采购", nullptr, kPurchasing},
            {"tsInventory", "存货", nullptr, Inventory(true)},
            {"tsInitial", "初始化", "初始化", kInitialNormal},
            {"tsBase", "基础", "\r\n基础", kBase},
        },
        kRecaptionsNormal,
        7,
    };
    return layout;
}

const TabbedPageLayout &NormalJXCLayout()
{
    static const TabbedPageLayout layout{
        {
            {"tsSales", "销售", nullptr, kSales},
            {"tsPurchasing", "采购", nullptr, kPurchasing},
            {"tsInventory", "存货", nullptr, Inventory(false)},
            {"tsBaseData", "基础数据", "\r\n基础数据", kBaseData},
        },
        {
            {"sbYWWQYS", "以往未清应收  "},
            {"sbYWWQYF", "以往未清应付  "},
            {"sbCHQCRK", "存货期初入库  "},
            {"sbZZQR", "总账科目确认  "},
            {"asb10202", "账套参数配置  "},
        },
        5,
    };
    return layout;
}

const QList<SpreadSection> &SpreadLayout()
{
    static const QList<SpreadSection> sections = {
        {"paZWCL",
         "lbZWCL",
         "账务处理",
         "业务处理",
         "账簿报表",
         "账务处理",
         {L("sbWLHX", "往来核销"), L("sbPZLR", "凭证录入"), L("sbPZGL", "凭证管理"),
          L("sbPZMB", "凭证模板"), L("lbPZJC", "凭证检查"), L("sbZDZZ", "自动转账"),
          L("sbPZDZ", "凭证登帐"), L("sbJZSY", "结转损益"), L("sbQMJZ", "期末结账"),
          L("sbQMTH", "期末调汇")},
         {L("lbZFLZ", "总账"), L("lbMXFLZ", "明细账"), L("lbDLSMXZ", "多栏式明细账"),
          L("lbKMRBB", "科目日报表"), L("lbKMHZB", "凭证汇总表"), L("lbKMYEB", "科目余额表"),
          M("lbCustomer", "↓客户往来账", "pmCustomer"),
          M("lbSupplier", "↓供应商往来账", "pmSupplier"),
          M("lbProject", "↓工程项目账", "pmProject"), M("lbEmployee", "↓个人往来账", "pmEmployee"),
          M("lbDept", "↓部门核算账", "pmDept"), L("lbWLCX", "往来查询"), L("lbZLFXB", "账龄分析表"),
          L("lbYESSPHB", "试算平衡表"), L("lbFZXMZZ", "核算项目总账"),
          L("lbFZXMMXZ", "核算项目明细账"), L("lbFZXMYEB", "核算项目余额表")}},
        {"paReport",
         "lbReport",
         "报\u3000\u3000表",
         "报表查看",
         nullptr,
         "报表",
         {L("lbBBDY", "报表定义"), L("lbXJLLCX", "现金流量查询"), L("lbXJLLB", "现金流量表"),
          L("lbQTBB", "其他报表"), L("lbLRFPB", "利润分配表"), L("lbLRB", "利润表"),
          L("lbZCFZB", "资产负债表")},
         {}},
        {"paCNGL",
         "lbCNGL",
         "出纳管理",
         "业务处理",
         "账簿报表",
         "出纳管理",
         {L("sbXJSFLSZ", "现金流水账"), L("sbYHDZD", "银行对账单"), L("sbXJPD", "现金盘点"),
          L("lbYHZHCSH", "银行初始化"), L("lbXJZHCSH", "现金初始化"), L("sbYHCKDZ", "银行存款对账"),
          L("sbXJDZ", "现金对账"), L("sbYHCKRJZ", "银行日记账"), L("sbCNJZ", "出纳扎账"),
          L("sbXJRJZ", "现金日记账"), L("sbZPGL", "支票管理")},
         {L("lbXJRBB", "现金日报表"), L("lbYHDZRBB", "银行对账日报表"),
          L("lbYHCKRBB", "银行存款日报表"), L("lbYETJB", "银行存款余额调节表"),
          L("lbCQWDZ", "长期未达账"), L("lbZJTCB", "资金头寸表")}},
        {"paXTWH",
         "lbXTWH",
         "系统维护",
         "基础资料",
         "系统维护",
         "系统维护",
         {L("lbDYCN", "出纳"), L("lbYHZH", "银行帐户"), L("lbYH", "银行"), L("sbJLDW", "计量单位"),
          L("sbKHDA", "客户"), L("sbGYSDA", "供应商"), L("sbCS", "场所"), L("sbBM", "部门"),
          L("sbZY", "职员"), L("sbKJKM", "会计科目"), L("lbPZZ", "凭证字"), L("lbHB", "货币")},
         {L("lbXTYH", "用户"), L("lbQXZ", "权限组"), L("asb10202", "账套参数"),
          L("sbXJLLCSSJ", "现金流量初始数据"), L("sbKMQCYE", "科目期初余额"),
          L("asb10206", "启用账套")}},
    };
    return sections;
}

// The entries and their object numbers are those of the server's SYS_SMPMDefine rows.
const QList<NavObjectMenu> &NavObjectMenus()
{
    static const QList<NavObjectMenu> menus = {
        {"pmCustomer",
         346,
         {{101000, "客户总账"},
          {101001, "客户余额表"},
          {102001, "客户明细账"},
          {103001, "客户往来对账单"},
          {103002, "客户账龄分析表"}}},
        {"pmSupplier",
         233,
         {{111000, "供应商总账"},
          {111001, "供应商余额表"},
          {112001, "供应商明细账"},
          {113001, "供应商往来对账单"},
          {113002, "供应商账龄分析表"}}},
        {"pmEmployee",
         157,
         {{121000, "个人往来总账"},
          {121001, "个人往来余额表"},
          {122001, "个人往来明细账"},
          {123001, "个人往来对账单"},
          {123002, "个人往来账龄分析表"}}},
        {"pmDept", 328, {{131000, "部门总账"}, {131001, "部门余额表"}, {132001, "部门明细账"}}},
        {"pmProject",
         120,
         {{141000, "工程项目总账"}, {141001, "工程项目余额表"}, {142001, "工程项目明细账"}}},
        {"pmPart", 348, {{151000, "存货总账"}, {151001, "存货余额表"}, {152001, "存货明细账"}}},
        {"pmWH", 43, {{161000, "仓库总账"}, {161001, "仓库余额表"}, {162001, "仓库明细账"}}},
        {"pmMCCase",
         195,
         {{171000, "存货次分类总账"}, {171001, "存货次分类余额表"}, {172001, "存货次分类明细账"}}},
        {"pmMCase",
         195,
         {{181000, "存货主分类总账"}, {181001, "存货主分类余额表"}, {182001, "存货主分类明细账"}}},
        {"pmFinReport",
         88,
         {{191001, "资产负债表"},
          {191002, "利润表"},
          {191003, "利润分配表"},
          {191004, "现金流量表"}}},
    };
    return menus;
}

} // namespace vexa::gl
