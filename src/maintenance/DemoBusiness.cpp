#include "DemoBusiness.h"

#include "Clock.h"
#include "Conversions.h"
#include "Records.h"
#include "Schema.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace tallyra::demo {

namespace {

// A small generator of our own, so the sample is the same on every machine and library.
class Random
{
public:
    explicit Random(std::uint64_t seed)
        : m_state(seed)
    {}
    std::uint32_t next()
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(m_state >> 33);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool chance(int percent) { return below(100) < percent; }

private:
    std::uint64_t m_state;
};

struct Person
{
    const char *first;
    const char *last;
    const char *mailFirst; // the names as they appear in an e-mail address
    const char *mailLast;
};

const Person kPeople[] = {
    {"Margaret", "Holloway", "margaret", "holloway"},
    {"Daniel", "Okafor", "daniel", "okafor"},
    {"Zoë", "Brontë", "zoe", "bronte"},
    {"José", "Muñoz", "jose", "munoz"},
    {"Björn", "Åkesson", "bjorn", "akesson"},
    {"Élodie", "Lefèvre", "elodie", "lefevre"},
    {"Łukasz", "Wróbel", "lukasz", "wrobel"},
    {"Siobhán", "O'Sullivan", "siobhan", "osullivan"},
    {"Thomas", "Nguyen", "thomas", "nguyen"},
    {"Priya", "Raman", "priya", "raman"},
    {"William", "Montgomery-Whitfield", "william", "montgomery"},
    {"Grace", "Abernathy", "grace", "abernathy"},
    {"Henry", "Castellano", "henry", "castellano"},
    {"Olivia", "Sørensen", "olivia", "sorensen"},
    {"Marcus", "Delgado", "marcus", "delgado"},
    {"Hannah", "Kowalczyk", "hannah", "kowalczyk"},
    {"Samuel", "Whitaker", "samuel", "whitaker"},
    {"Aiko", "Tanaka", "aiko", "tanaka"},
    {"Rebecca", "Lindqvist", "rebecca", "lindqvist"},
    {"Patrick", "Brennan", "patrick", "brennan"},
    {"Fatima", "Haddad", "fatima", "haddad"},
    {"George", "Pemberton", "george", "pemberton"},
    {"Lucia", "Ferreira", "lucia", "ferreira"},
    {"Arthur", "Blackwood", "arthur", "blackwood"},
    {"Nadia", "Petrović", "nadia", "petrovic"},
    {"Christopher", "Vandermeer", "chris", "vandermeer"},
    {"Ingrid", "Halvorsen", "ingrid", "halvorsen"},
    {"Victor", "Lambert", "victor", "lambert"},
    {"Emily", "Carrington", "emily", "carrington"},
    {"Kwame", "Mensah", "kwame", "mensah"},
};

const char *const kTitles[] = {"Mr.", "Ms.", "Dr.", "Mx.", ""};

const char *const kCompanies[] = {
    "Westgate Dental Associates",     "Bluewater Marine Outfitters", "Pinecrest Elementary School",
    "Holloway & Finch Accountants",   "Riverside Community Library", "Summit Ridge Veterinary Clinic",
    "Lakeview Property Management",   "Cedar Hollow Bakery",         "Northfield Youth Soccer League",
    "Brightline Architecture Studio", "Oak Street Family Practice",  "Granite State Title Company",
    "Harborview Yacht Club",          "Maple Grove Church Office",   "Silverline Courier Service",
};

const char *const kStreets[] = {
    "1187 Harbor Lane", "42 Maple Avenue",          "9 Orchard Road",      "310 Commerce Drive",
    "77 Beacon Street", "2450 Old Mill Road",       "16 Chestnut Court",   "505 Riverside Parkway",
    "88 Elm Street",    "1203 Lakeshore Boulevard", "61 Quarry Hill Road", "4 Willow Way",
};

const char *const kSuites[] = {"Suite 1400, Westgate Business Park",
                               "Building C, Second Floor, Room 214",
                               "Attn: Accounts Payable Department",
                               "Unit 7",
                               "Apt. 3B",
                               "PO Box 1182"};

struct Town
{
    const char *line; // the town line, at most 19 characters
    const char *zip;
};

const Town kTowns[] = {
    {"Portsmouth, NH", "03801"}, {"Kittery, ME", "03904"},     {"Dover, NH", "03820-4417"},
    {"Exeter, NH", "03833"},     {"Newburyport, MA", "01950"}, {"Salem, MA", "01970-2203"},
    {"Burlington, VT", "05401"}, {"Concord, NH", "03301"},     {"South Portland, ME", "04106"},
    {"Manchester, NH", "03101"},
};

const char *const kNotes[] = {"Net 30",
                              "Prefers e-mail invoices",
                              "Tax exempt, certificate on file",
                              "Call before delivery",
                              "Purchase order required",
                              ""};

const char *const kGroupNames[] = {"Retail Customers", "Business Accounts", "Schools & Nonprofits",
                                   "Mail Order"};

struct Product
{
    const char *id;
    const char *desc;
    const char *comment;
    double price;
    bool inventory;
    bool shipped; // counts toward the shipping line
    bool taxed;   // counts toward the sales-tax line
    const char *licence;
    const char *text; // printed at the bottom of invoices
    bool hours;       // sold by the hour (quantities in halves)
};

const Product kProducts[] = {
    {"PAPER-LTR", "Copy Paper, Letter", "Case of 10 reams", 42.99, true, true, true, "", "", false},
    {"PAPER-LGL", "Copy Paper, Legal", "Case of 10 reams", 51.50, true, true, true, "", "", false},
    {"TONER-85A", "Laser Toner Cartridge 85", "Black, 1,600 pages", 68.75, true, true, true, "", "", false},
    {"TONER-CLR", "Color Toner Set", "Cyan, magenta, yellow", 189.00, true, true, true, "", "", false},
    {"INK-BLK", "Inkjet Cartridge, Black", "High yield", 24.95, true, true, true, "", "", false},
    {"PENS-BLU", "Ballpoint Pens, Blue", "Box of 12", 6.49, true, true, true, "", "", false},
    {"FOLDERS", "File Folders, Letter", "Box of 100, manila", 14.25, true, true, true, "", "", false},
    {"BINDER-2", "Ring Binder, 2 inch", "", 5.79, true, true, true, "", "", false},
    {"LABELS-30", "Address Labels 30 per sheet", "Pack of 100 sheets", 29.99, true, true, true, "", "",
     false},
    {"STAPLER", "Heavy Duty Stapler", "Staples up to 100 sheets", 37.50, true, true, true, "", "", false},
    {"CHAIR-ERG", "Ergonomic Office Chair", "Adjustable arms, mesh back", 289.00, true, true, true, "",
     "Chairs carry a five-year warranty on all parts.", false},
    {"DESK-LAMP", "LED Desk Lamp", "Dimmable, USB port", 44.00, true, true, true, "", "", false},
    {"SHRED-8", "Cross-Cut Shredder", "8 sheets, 4 gallon bin", 119.95, true, true, true, "",
     "Shredder oil is sold separately (see SHRED-OIL).", false},
    {"SHRED-OIL", "Shredder Oil", "12 oz bottle", 9.95, false, true, true, "", "", false},
    {"PRINTER-L", "Monochrome Laser Printer", "Duplex, network", 249.00, true, true, true, "",
     "Register your printer within 30 days to receive\nthe extended warranty.", false},
    {"CABLE-USB", "USB Printer Cable, 10 ft", "", 12.50, false, true, true, "", "", false},
    {"ENVEL-10", "Envelopes, No. 10", "Box of 500, security tint", 27.40, false, true, true, "", "", false},
    {"CALENDAR", "Wall Calendar", "", 15.00, false, true, true, "", "", false},
    {"WHITEBRD", "Whiteboard 4 x 6 ft", "Aluminum frame", 159.00, false, true, true, "", "", false},
    {"MARKERS", "Dry-Erase Markers", "Set of 8 colors", 11.99, false, true, true, "", "", false},
    {"SW-ACCT", "Bookkeeping Software", "One-year licence", 179.00, false, false, true, "BK-2291-AX",
     "Your licence code is printed on this invoice.\nKeep it for reinstalling the software.", false},
    {"SW-BACKUP", "Cloud Backup Plan", "One-year licence, 100 GB", 96.00, false, false, true, "CB-4410-QT",
     "", false},
    {"SVC-REPAIR", "Printer Repair", "Per hour, on site", 85.00, false, false, false, "", "", true},
    {"SVC-SETUP", "Network Printer Setup", "Per hour", 75.00, false, false, false, "", "", true},
    {"SVC-TRAIN", "Software Training", "Per hour, up to 4 people", 65.00, false, false, false, "",
     "Training materials may be copied for your staff.", true},
    {"SVC-DELIV", "Local Delivery", "Within 25 miles", 25.00, false, false, false, "", "", false},
    {"SVC-ASSEM", "Furniture Assembly", "Per item", 35.00, false, false, false, "", "", false},
    {"SVC-MAINT", "Maintenance Contract", "Quarterly, one printer", 120.00, false, false, true, "", "",
     false},
    {"SVC-RUSH", "Rush Order Handling", "", 15.00, false, false, false, "", "", false},
    {"GIFT-CARD", "Gift Certificate", "Not taxable", 50.00, false, false, false, "", "", false},
};

const char *const kDepts[] = {"Counter", "Phone", "Web", "Service"};
const char *const kRemarks[] = {
    "Thank you for your business!",
    "Deliver to the loading dock at the rear.\nCall ahead: front desk closes at 4 pm.",
    "Back-ordered items will ship separately at no extra charge.",
    "Signed for by the office manager.",
};

constexpr double kTaxRate = 7.25; // the sample business's sales tax

// Amounts as the invoice shows them: the sums below keep two decimals throughout.
struct Totals
{
    double items = 0;    // sum of the line totals
    double discount = 0; // discount amount
    double subtotal = 0; // after discount
    double ship = 0;
    double tax = 0;
    double total = 0;
};

// The totals of one invoice, as the invoice window computes them: line totals rounded to cents,
// the discount taken from the items and from each charge base on its own, the shipping typed,
// the tax computed on the discounted base of the taxed items (never on the shipping).
Totals invoiceTotals(const std::vector<ItemRecord> &items, double discountPercent, double ship,
                     const SettingsRecord &settings)
{
    Totals t;
    double taxBase = 0;
    for (const ItemRecord &item : items) {
        const double line = roundToCents(item.Qty * item.UPR);
        t.items = roundToCents(t.items + line);
        if (item.LTax2)
            taxBase = roundToCents(taxBase + line);
    }
    if (discountPercent > 0)
        taxBase = roundToCents(taxBase - roundToCents(taxBase * discountPercent / 100));
    t.discount = roundToCents(t.items * discountPercent / 100);
    t.subtotal = roundToCents(t.items - t.discount);
    t.ship = ship;
    t.tax = settings.TaxRate2 != 0 ? roundCharge(settings.TaxRate2 / 100 * taxBase, settings.TaxRound) : 0;
    t.total = roundToCents(t.subtotal + t.ship + t.tax);
    return t;
}

db::Status append(db::Table &t, const std::function<db::Status(db::Table &)> &write)
{
    db::Status s = t.appendBlank();
    if (s.isOk())
        s = write(t);
    if (s.isOk())
        s = t.flush();
    return s;
}

db::Table *openBare(db::Engine &engine, TableId id, db::Status *s)
{
    return engine.open(tableDef(id).name, s);
}

} // namespace

SettingsRecord settings(SettingsRecord base)
{
    base.Company = QStringLiteral("Harbor Lane Office Supply");
    base.Addr1 = QStringLiteral("1187 Harbor Lane");
    base.Addr2 = QStringLiteral("Portsmouth, NH 03801");
    base.Addr3 = QStringLiteral("Phone (603) 555-0142");
    base.Addr4 = QStringLiteral("harborlane.example");
    base.CloLine = QStringLiteral("Sincerely,");
    base.SigLine = QStringLiteral("Dana Whitcomb, Owner");
    base.LHJustify = 2;
    base.TopMargin = 0.5;
    base.TaxRate2 = kTaxRate;
    return base;
}

db::Status writeRecords(db::Engine &engine, const SettingsRecord &settings)
{
    Random rnd(20240611);
    const QDate today = tallyra::today();
    db::Status s;

    // Groups.
    db::Table *groups = openBare(engine, TableId::Groups, &s);
    if (!groups)
        return s;
    for (int g = 0; g < 4 && s.isOk(); ++g)
        s = append(*groups, [&](db::Table &t) {
            return writeGroup(t, GroupRecord{g + 1, QString::fromUtf8(kGroupNames[g])});
        });

    // Customers.
    db::Table *customers = s.isOk() ? openBare(engine, TableId::Customers, &s) : nullptr;
    const int kCustomers = 60;
    for (int c = 0; c < kCustomers && s.isOk(); ++c) {
        const Person &p = kPeople[(c * 7) % std::size(kPeople)];
        const Person &other = kPeople[(c * 11 + 3) % std::size(kPeople)];
        const bool sameNames = c < static_cast<int>(std::size(kPeople));
        CustomerRecord r;
        r.CuNo = c + 1;
        r.Title = QString::fromUtf8(kTitles[rnd.below(std::size(kTitles))]);
        r.First = QString::fromUtf8(p.first);
        r.Last = QString::fromUtf8(sameNames ? p.last : other.last);
        const bool company = c % 3 == 1;
        const Town &town = kTowns[rnd.below(std::size(kTowns))];
        if (company) {
            r.Addr1 = QString::fromUtf8(kCompanies[(c / 3) % std::size(kCompanies)]);
            r.Addr2 = QString::fromUtf8(kStreets[rnd.below(std::size(kStreets))]);
            if (rnd.chance(50))
                r.Addr3 = QString::fromUtf8(kSuites[rnd.below(3)]);
            r.Fax = QStringLiteral("(603) 555-%1").arg(1000 + rnd.below(9000));
            r.NGroup = c % 2 ? 2 : 3;
        } else {
            r.Addr1 = QString::fromUtf8(kStreets[rnd.below(std::size(kStreets))]);
            if (rnd.chance(25))
                r.Addr2 = QString::fromUtf8(kSuites[3 + rnd.below(3)]);
            r.NGroup = rnd.chance(75) ? 1 : 4;
        }
        r.Addr4 = QString::fromUtf8(town.line);
        r.Zip = QString::fromUtf8(town.zip);
        r.Phone = QStringLiteral("(%1) 555-%2").arg(rnd.chance(70) ? 603 : 207).arg(1000 + rnd.below(9000));
        r.Note = QString::fromUtf8(kNotes[rnd.below(std::size(kNotes))]);
        if (c % 6 != 5) { // every sixth customer has no e-mail address
            const QString mailFirst = QString::fromLatin1(p.mailFirst);
            const QString mailLast = QString::fromLatin1(sameNames ? p.mailLast : other.mailLast);
            if (c == 4)
                r.EMail = QStringLiteral("accounts.payable.dept@bluewater-marine-outfitters.example");
            else if (company)
                r.EMail = QStringLiteral("office@%1.example").arg(mailLast);
            else
                r.EMail = QStringLiteral("%1.%2%3@mail.example").arg(mailFirst, mailLast).arg(c + 1);
        }
        if (c % 9 == 2)
            r.Comments =
                QStringLiteral("Met at the spring trade show.\nInterested in a maintenance contract.");
        s = append(*customers, [&](db::Table &t) { return writeCustomer(t, r); });
    }

    // Products (on-hand quantities are set once the sales are known).
    db::Table *products = s.isOk() ? openBare(engine, TableId::Products, &s) : nullptr;
    const int kProductCount = static_cast<int>(std::size(kProducts));
    for (int i = 0; i < kProductCount && s.isOk(); ++i) {
        const Product &p = kProducts[i];
        ProductRecord r;
        r.PrID = QString::fromLatin1(p.id);
        r.RCode = QString::fromLatin1(p.licence);
        r.PDesc = QString::fromUtf8(p.desc);
        r.IComm = QString::fromUtf8(p.comment);
        r.UPrice = p.price;
        r.LTax1 = p.shipped;
        r.LTax2 = p.taxed;
        r.lInven = p.inventory;
        r.REORDER = p.inventory ? 10 : 0;
        r.PMemo = QString::fromUtf8(p.text);
        s = append(*products, [&](db::Table &t) { return writeProduct(t, r); });
    }

    // Invoices over the last six months, in date order.
    const int kInvoices = 150;
    std::vector<int> ages;
    for (int i = 0; i < kInvoices; ++i)
        ages.push_back(rnd.between(0, 182));
    std::sort(ages.begin(), ages.end(), std::greater<int>());
    db::Table *invoices = s.isOk() ? openBare(engine, TableId::Invoices, &s) : nullptr;
    db::Table *items = s.isOk() ? openBare(engine, TableId::Items, &s) : nullptr;
    db::Table *payments = s.isOk() ? openBare(engine, TableId::Payments, &s) : nullptr;
    std::map<int, double> sold; // product index -> quantity
    for (int i = 0; i < kInvoices && s.isOk(); ++i) {
        InvoiceRecord inv;
        inv.IvNo = 1001 + i;
        inv.CuNo = 1 + rnd.below(kCustomers);
        inv.IDate = today.addDays(-ages[static_cast<std::size_t>(i)]);
        inv.Dept = QString::fromLatin1(kDepts[rnd.below(std::size(kDepts))]);
        std::vector<ItemRecord> lines;
        const int count = rnd.between(1, 5);
        double shippedUnits = 0;
        for (int k = 0; k < count; ++k) {
            const int pi = rnd.below(kProductCount);
            const Product &p = kProducts[pi];
            ItemRecord item;
            item.IvNo = inv.IvNo;
            item.PrID = QString::fromLatin1(p.id);
            item.Qty =
                p.hours ? rnd.between(1, 8) * 0.5 : (p.price > 100 ? rnd.between(1, 2) : rnd.between(1, 12));
            item.UPR = rnd.chance(10) ? roundToCents(p.price * 0.9) : p.price; // an occasional special price
            item.LTax1 = p.shipped;
            item.LTax2 = p.taxed;
            item.PDesc = QString::fromUtf8(p.desc);
            item.IComm = QString::fromUtf8(p.comment);
            if (p.shipped)
                shippedUnits += item.Qty;
            if (p.inventory)
                sold[pi] += item.Qty;
            lines.push_back(item);
        }
        if (rnd.chance(12)) {
            const double discounts[] = {2.5, 5, 10};
            inv.Discount = discounts[rnd.below(3)];
        }
        // Shipping is typed on each invoice: a base charge and a little per unit shipped.
        const double ship = shippedUnits > 0 ? roundToCents(6.50 + 0.75 * std::min(shippedUnits, 20.0)) : 0;
        const Totals totals = invoiceTotals(lines, inv.Discount, ship, settings);
        inv.Ship = totals.ship;
        inv.Tax = totals.tax;

        // Payments: most older invoices are paid, some partly, a few are overdue.
        const int age = ages[static_cast<std::size_t>(i)];
        const int roll = rnd.below(100);
        std::vector<PaymentRecord> paid;
        auto pay = [&](double amount, int afterDays) {
            const int days = std::min(afterDays, age);
            paid.push_back(PaymentRecord{inv.IvNo, inv.IDate.addDays(days), roundToCents(amount)});
        };
        if (age <= 30) {
            if (roll < 40) {
                pay(totals.total, 0);
                inv.IMemo = QStringLiteral("VISA ending %1").arg(1000 + rnd.below(9000));
            }
        } else {
            const int fullShare = age > 90 ? 82 : 60;
            const int partShare = age > 90 ? 10 : 20;
            if (roll < fullShare) {
                pay(totals.total, rnd.between(3, 40));
            } else if (roll < fullShare + partShare) {
                pay(std::floor(totals.total * 0.5), rnd.between(3, 20));
                if (rnd.chance(50) && totals.total > 100)
                    pay(std::floor(totals.total * 0.2), rnd.between(21, 50));
            }
        }
        if (inv.IMemo.isEmpty() && rnd.chance(20))
            inv.IMemo = QStringLiteral("PO %1").arg(50000 + rnd.below(50000));
        double paidTotal = 0;
        for (const PaymentRecord &p : paid)
            paidTotal = roundToCents(paidTotal + p.PAmt);
        inv.Due = roundToCents(totals.total - paidTotal);
        if (rnd.chance(15))
            inv.REM = QString::fromUtf8(kRemarks[rnd.below(std::size(kRemarks))]);

        s = append(*invoices, [&](db::Table &t) { return writeInvoice(t, inv); });
        for (const ItemRecord &item : lines) {
            if (s.isOk())
                s = append(*items, [&](db::Table &t) { return writeItem(t, item); });
        }
        for (const PaymentRecord &p : paid) {
            if (s.isOk())
                s = append(*payments, [&](db::Table &t) { return writePayment(t, p); });
        }
    }

    // Purchases of the inventory items: an opening stock before the first sale and restocks
    // since, at a slowly rising unit cost, leaving some stock on hand.
    db::Table *purchases = s.isOk() ? openBare(engine, TableId::Purchases, &s) : nullptr;
    std::map<int, double> onHand;
    for (int pi = 0; pi < kProductCount && s.isOk(); ++pi) {
        const Product &p = kProducts[pi];
        if (!p.inventory)
            continue;
        const double left = rnd.between(4, 30);
        const double total = sold[pi] + left;
        const int restocks = rnd.between(1, 3);
        double unitCost = roundToCents(p.price * 0.55);
        double bought = 0;
        for (int k = 0; k <= restocks && s.isOk(); ++k) {
            const double qty = k == restocks ? total - bought : std::floor(total / (restocks + 1));
            if (qty <= 0)
                continue;
            PurchaseRecord r;
            r.PURProd = QString::fromLatin1(p.id);
            r.PURDate = today.addDays(-200 + k * (190 / (restocks + 1)));
            r.PURQty = qty;
            r.PURCost = roundToCents(qty * unitCost);
            bought += qty;
            unitCost = roundToCents(unitCost * 1.03);
            s = append(*purchases, [&](db::Table &t) { return writePurchase(t, r); });
        }
        onHand[pi] = left;
    }

    // On-hand quantities: what was bought less what was sold.
    if (s.isOk()) {
        int pi = 0;
        for (bool more = products->go(1); more && s.isOk(); more = products->skip(1), ++pi) {
            if (!onHand.count(pi))
                continue;
            ProductRecord r;
            s = loadProduct(*products, r);
            r.ONHAND = onHand[pi];
            if (s.isOk())
                s = writeProduct(*products, r);
        }
        if (s.isOk())
            s = products->takeError();
    }
    return s;
}

} // namespace tallyra::demo
