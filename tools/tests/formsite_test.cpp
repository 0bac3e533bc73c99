// Hosting the test control on a Qt form in this process: the site, the form's
// automation object, initialisation, events, sizing and placement.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "automation/server.h"
#include "windowing/formsite.h"

using namespace automation;
using windowing::FormSite;
using windowing::HostedControl;

namespace {

struct Seen {
    QString name;
    DispId id;
    std::vector<Variant> args;
};

class FormSiteTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // A private registry holding the test control, registered by the
        // library itself.
        static QTemporaryDir dir;
        qputenv("VELMORA_REGISTRY", QFile::encodeName(dir.filePath(QStringLiteral("registry"))));
        qputenv("HOME", QFile::encodeName(dir.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path()));
        auto lib = loadLibrary(QString::fromLocal8Bit(qgetenv("TESTCTL_LIB")));
        ASSERT_TRUE(lib) << lib.error().description.toStdString();
        ASSERT_TRUE(lib->registerServer());
    }

    HostedControl::Options options(const PropertyBag* bag = nullptr)
    {
        HostedControl::Options o;
        o.bag = bag;
        o.onEvent = [this](const QString& name, DispId id, std::vector<Variant>& args) {
            seen.push_back({name, id, args});
            if (name == QLatin1String("Ticked"))
                args[0] = Variant(std::int32_t(99));
        };
        o.onPropertyChanged = [this](DispId id) { changed.push_back(id); };
        return o;
    }

    std::unique_ptr<HostedControl> create(HostedControl::Options o)
    {
        auto h = HostedControl::create(&form, QStringLiteral("VelmoraTest.Widget"), std::move(o));
        EXPECT_TRUE(h) << h.error().description.toStdString();
        return h ? std::move(*h) : nullptr;
    }

    QWidget form;
    std::vector<Seen> seen;
    std::vector<DispId> changed;
};

Result<> byName(const DispatchPtr& obj, const char* name, InvokeKind kind, std::vector<Variant> args = {})
{
    return obj->callByName(QLatin1String(name), kind, args);
}

} // namespace

TEST_F(FormSiteTest, TheFormObjectShowsHidesAndTitlesTheFormByName)
{
    auto form2 = std::make_unique<QWidget>();
    FormSite site(form2.get());
    const DispatchPtr obj = site.container();
    ASSERT_TRUE(obj);
    EXPECT_EQ(site.container(), obj);   // one object per site
    EXPECT_EQ(site.containerWidget(), form2.get());

    EXPECT_TRUE(byName(obj, "Visible", InvokeKind::PropertyGet).value() == Variant::fromBool(false));
    ASSERT_TRUE(byName(obj, "visible", InvokeKind::PropertyPut, {Variant::fromBool(true)}).ok());
    EXPECT_TRUE(form2->isVisible());
    EXPECT_TRUE(byName(obj, "Visible", InvokeKind::PropertyGet).value() == Variant::fromBool(true));
    // Automation conversions apply: -1 is True, 0 False.
    ASSERT_TRUE(byName(obj, "Visible", InvokeKind::PropertyPut, {Variant(std::int32_t(0))}).ok());
    EXPECT_FALSE(form2->isVisible());

    ASSERT_TRUE(byName(obj, "Caption", InvokeKind::PropertyPut, {Variant("Усилитель")}).ok());
    EXPECT_EQ(form2->windowTitle(), QStringLiteral("Усилитель"));
    EXPECT_TRUE(byName(obj, "Caption", InvokeKind::PropertyGet).value() == Variant("Усилитель"));

    Result<> r = byName(obj, "Enabled", InvokeKind::PropertyGet);
    EXPECT_EQ(r.error().number, err::NoSuchMember);

    form2.reset();
    r = byName(obj, "Visible", InvokeKind::PropertyPut, {Variant::fromBool(true)});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().number, err::ObjectRequired);
}

TEST_F(FormSiteTest, TheSiteRecordsPropertyChangesAndKnowsTheMode)
{
    FormSite site(&form);
    std::vector<DispId> forwarded;
    site.setPropertyChangedHandler([&](DispId id) { forwarded.push_back(id); });
    EXPECT_TRUE(site.userMode());
    EXPECT_FALSE(site.modified());
    site.propertyChanged(0x68030001);
    site.propertyChanged(3);
    EXPECT_EQ(site.changedProperties(), (std::vector<DispId>{0x68030001, 3}));
    EXPECT_EQ(forwarded, (std::vector<DispId>{0x68030001, 3}));
    EXPECT_TRUE(site.modified());
    site.clearModified();
    EXPECT_FALSE(site.modified());
    site.setUserMode(false);
    EXPECT_FALSE(site.userMode());
}

TEST_F(FormSiteTest, ANewControlIsSitedInitialisedSizedAndPlaced)
{
    HostedControl::Options o = options();
    o.size = SizeTwips{2000, 1000};
    auto h = create(std::move(o));
    ASSERT_TRUE(h);
    EXPECT_EQ(h->registration().progId, QStringLiteral("VelmoraTest.Widget"));
    EXPECT_EQ(h->control()->site(), &h->site());

    // initNew ran with the sink already advised.
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].name, QStringLiteral("Ready"));
    EXPECT_TRUE(seen[0].args[0] == Variant::fromBool(false));

    // The control snaps its size; its window sits on the form, hidden at run
    // time because the class is invisible at run time.
    EXPECT_EQ(h->size(), (SizeTwips{465, 465}));
    QWidget* w = h->control()->window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parentWidget(), &form);
    EXPECT_EQ(w->size(), QSize(31, 31));
    EXPECT_TRUE(w->isHidden());

    // The control reaches the form through its site, by name.
    const DispId show = *h->control()->idOfName(QStringLiteral("ShowForm"));
    ASSERT_TRUE(h->control()->call(show, {Variant::fromBool(true)}).ok());
    EXPECT_TRUE(form.isVisible());

    // Property changes come to the container; events carry by-reference arguments.
    ASSERT_TRUE(h->control()->put(3, Variant(std::int16_t(8))).ok());
    EXPECT_EQ(changed, std::vector<DispId>{3});
    ASSERT_TRUE(h->control()->call(4, {Variant(std::int32_t(1))}).ok());
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].name, QStringLiteral("Ticked"));
    EXPECT_EQ(seen[1].id, 1);
    EXPECT_TRUE(h->control()->get(5).value() == Variant(std::int32_t(99)));

    PropertyBag bag;
    ASSERT_TRUE(h->save(bag).ok());
    EXPECT_EQ(bag.toText(), QByteArray("Level = I2:8\n"));
}

TEST_F(FormSiteTest, DesignModeShowsTheControlAndLoadingReadsTheBag)
{
    PropertyBag bag;
    bag.write(QStringLiteral("Level"), Variant(std::int16_t(11)));
    HostedControl::Options o = options(&bag);
    o.userMode = false;
    auto h = create(std::move(o));
    ASSERT_TRUE(h);
    EXPECT_FALSE(h->site().userMode());
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].args[0] == Variant::fromBool(true));
    EXPECT_TRUE(h->control()->get(3).value() == Variant(std::int16_t(11)));
    EXPECT_FALSE(h->control()->window()->isHidden());
}

TEST_F(FormSiteTest, ReleasingTheControlStopsItsEvents)
{
    auto h = create(options());
    ASSERT_TRUE(h);
    ControlPtr keep = h->control();
    h.reset();
    EXPECT_EQ(keep->site(), nullptr);
    seen.clear();
    ASSERT_TRUE(keep->call(4, {Variant(std::int32_t(1))}).ok());
    EXPECT_TRUE(seen.empty());
}

TEST_F(FormSiteTest, FailuresToCreateOrLoadComeBackAsErrors)
{
    auto missing = HostedControl::create(&form, QStringLiteral("No.Such.Class"), options());
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().number, err::CannotCreateObject);

    PropertyBag bad;
    bad.write(QStringLiteral("Level"), Variant("high"));
    auto unloadable = HostedControl::create(&form, QStringLiteral("VelmoraTest.Widget"), options(&bad));
    ASSERT_FALSE(unloadable);
    EXPECT_EQ(unloadable.error().number, err::TypeMismatch);
    EXPECT_EQ(unloadable.error().source, QStringLiteral("VelmoraTest.Widget"));
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
