#include "io/xml/XmlDocument.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/TestSupport.h"

namespace {

class XmlDocumentTest : public ::testing::Test {
protected:
    XmlDocument document;
    std::vector<std::vector<char>> buffers;  // texts given to the document stay alive
    std::string out, err;

    bool parse(const std::string& text) {
        buffers.emplace_back(text.begin(), text.end());
        buffers.back().push_back(0);
        begin();
        bool result = document.parseText(buffers.back().data());
        end();
        return result;
    }
    bool load(const std::string& path) {
        begin();
        bool result = document.load(path.c_str());
        end();
        return result;
    }
    void begin() {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
    }
    void end() {
        out = ::testing::internal::GetCapturedStdout();
        err = ::testing::internal::GetCapturedStderr();
    }
    const XmlNode* root() const { return document.getRoot(); }
};

// The names of the elements below node in document order, each followed by
// its attributes in list order: "a(x=1,y=2) b() ...".
std::string outline(const XmlNode* node) {
    std::string text;
    for (const XmlNode* n = node->firstChild; n; n = n->next()) {
        if (!text.empty()) text += ' ';
        text += n->name;
        text += '(';
        for (const XmlAttribute* a = n->attributes; a; a = a->next) {
            if (a != n->attributes) text += ',';
            text += a->name;
            text += '=';
            text += a->value;
        }
        text += ')';
    }
    return text;
}

TEST_F(XmlDocumentTest, CharacterClasses) {
    EXPECT_EQ(document.charClass[(unsigned char)'a'], XmlDocument::nameClass);
    EXPECT_EQ(document.charClass[(unsigned char)'9'], XmlDocument::nameClass);
    EXPECT_EQ(document.charClass[(unsigned char)':'], XmlDocument::nameClass);
    EXPECT_EQ(document.charClass[(unsigned char)'?'], XmlDocument::markupClass);
    EXPECT_EQ(document.charClass[(unsigned char)'\''], XmlDocument::quoteClass);
    EXPECT_EQ(document.charClass[0], XmlDocument::endClass);
    EXPECT_EQ(document.charClass[(unsigned char)'='], XmlDocument::otherClass);
    EXPECT_EQ(document.charClass[0xE9], XmlDocument::otherClass);
    EXPECT_STREQ(root()->name, "ROOT_NODE");
}

TEST_F(XmlDocumentTest, ElementsAttributesAndText) {
    ASSERT_TRUE(parse("<?xml version='1.0'?>\n<!DOCTYPE scene>\n<!-- a comment -->\n"
                      "<scene>\n  <p a='1' b=\"2\"/>\n  <light type='x'>  hello world  </light>\n"
                      "  <empty>  \n\t </empty>\n</scene>\n"));
    EXPECT_EQ(out + err, "");
    // A self-closing element has no children and lists its second attribute
    // first; text becomes "$DATA$", blank text adds nothing.
    EXPECT_EQ(outline(root()), "scene() p(b=2,a=1) light($DATA$=hello world  ,type=x) empty()");
    const XmlNode* scene = root()->firstChild;
    EXPECT_EQ(root()->childCount(), 1);
    EXPECT_EQ(scene->childCount(), 3);
    const XmlNode* p = scene->firstChild;
    EXPECT_EQ(p->childCount(), 0);
    EXPECT_EQ(p->parent, scene);
    EXPECT_STREQ(p->value("a"), "1");
    EXPECT_EQ(p->value("c"), nullptr);
    EXPECT_EQ(scene->lastChild->name, std::string("empty"));
    // Names and values point into the text given, which was cut in place.
    const char* text = buffers.back().data();
    EXPECT_GE(p->name, text);
    EXPECT_LT(p->name, text + buffers.back().size());
}

TEST_F(XmlDocumentTest, QuotedMarkupWrongClosingNamesAndUnmatchedClosers) {
    ASSERT_TRUE(parse("<a v='x > y / z' w=\"it's\"><b></c><d/></a></a>"));
    // "</c>" closes b, whatever its name; the last "</a>" is one too many.
    EXPECT_EQ(outline(root()), "a(w=it's,v=x > y / z) b() d()");
    EXPECT_EQ(root()->firstChild->childCount(), 2);
    EXPECT_EQ(err, "XML Error! Unmatched closing tag.\n");
}

TEST_F(XmlDocumentTest, CommentEndsAtItsFirstClosingBracket) {
    ASSERT_TRUE(parse("<s><!-- <hidden a='1'> --><t/></s>"));
    // The comment ends after "<hidden a='1'": no element is made of it and the
    // rest of it is text.
    EXPECT_EQ(outline(root()), "s($DATA$=-->) t()");
}

TEST_F(XmlDocumentTest, DescribeAndNavigation) {
    ASSERT_TRUE(parse("<scene><camera name='c' resx='4'><from x='1'/>text</camera>"
                      "<light><from x='2'/></light><object/></scene>"));
    const XmlNode* scene = root()->firstChild;
    const XmlNode* camera = scene->firstChild;
    const XmlNode* light = camera->nextSibling;
    EXPECT_EQ(XmlDocument::describe(camera), "<camera resx=\"4\" name=\"c\">");
    EXPECT_EQ(XmlDocument::describe(light->nextSibling), "<object/>");
    EXPECT_EQ(camera->findDescendant("from")->value("x"), std::string("1"));
    EXPECT_EQ(scene->findDescendant("from"), camera->firstChild);
    // The search stays inside the element it starts from.
    EXPECT_EQ(light->nextSibling->findDescendant("from"), nullptr);
    EXPECT_EQ(camera->firstChild->findDescendant("from"), nullptr);
    EXPECT_EQ(camera->firstChild->next(), light);
    EXPECT_EQ(light->firstChild->next(), light->nextSibling);
    EXPECT_EQ(light->nextSibling->next(), nullptr);
}

TEST_F(XmlDocumentTest, ManyElementsSpanSeveralBlocks) {
    std::string text = "<list>";
    const int count = 3 * XmlDocument::blockSize + 7;
    for (int i = 0; i < count; i++) text += "<i n='" + std::to_string(i) + "'/>";
    ASSERT_TRUE(parse(text + "</list>"));
    const XmlNode* list = root()->firstChild;
    ASSERT_EQ(list->childCount(), count);
    int i = 0;
    for (const XmlNode* n = list->firstChild; n; n = n->nextSibling, i++)
        ASSERT_EQ(n->value("n"), std::to_string(i));
    document.reset();
    EXPECT_EQ(document.getRoot()->firstChild, nullptr);
    EXPECT_STREQ(document.getRoot()->name, "ROOT_NODE");
}

// Malformed tags: what is reported on standard error, whether the parse goes
// on, and what the tree holds afterwards.
TEST_F(XmlDocumentTest, MalformedInput) {
    struct Case {
        const char* text;
        bool result;
        const char* error;
        const char* tree;
    } cases[] = {
        {"<a b='never closed", false, "XML Error! Unexpected end of file parsing string.\n",
         "a()"},
        {"<a b='1' c", false, "XML Error! Unexpected end of file inside <a>.\n", "a(b=1)"},
        {"<a", false, "XML Error! Unexpected end of file inside <a>.\n", "a()"},
        {"<a/><!-- open comment", false,
         "XML Error! Unexpected end of file inside a comment or declaration.\n", "a()"},
        {"<a></a", false, "XML Error! Unexpected end of file inside a closing tag.\n", "a()"},
        {"<a 'lonely' b='2'/>", true, "XML Error! Unnamed attribute with value 'lonely'.\n",
         "a(b=2)"},
        {"<a <b='2'/><c/>", true, "XML Error! Unexpected token type (60).\n", "a(b=2) c()"},
        {"<a/>< 'x'><b/>", false, "", "a()"},
        {"<a/><><b/>", false, "", "a()"},
        {"<a/>text at the end <", false, "", "a()"},
        {"\x01\xff\x80 <a\x7f b='\xc3\xa9'/>", true, "", "a(b=\xc3\xa9)"},
    };
    for (const Case& c : cases) {
        document.reset();
        EXPECT_EQ(parse(c.text), c.result) << c.text;
        EXPECT_EQ(err, c.error) << c.text;
        EXPECT_EQ(outline(root()), c.tree) << c.text;
    }
}

TEST_F(XmlDocumentTest, EveryTruncationOfADocumentEnds) {
    const std::string full =
        "<?xml version='1.0'?><scene><!-- c --><camera name=\"cam\" resx='8'>"
        "<from x='1' y='2' z='3'/></camera>text<include/><object>"
        "<mesh><points><p x='0'/></points></mesh></object></scene>";
    for (size_t length = 0; length <= full.size(); length++) {
        document.reset();
        parse(full.substr(0, length));
        ASSERT_NE(root(), nullptr);
    }
    EXPECT_EQ(outline(root()),
              "scene($DATA$=text) camera(resx=8,name=cam) from(z=3,y=2,x=1) include() object() mesh() "
              "points() p(x=0)");
}

// Files: lookup through the base folder, includes and what goes wrong.
class XmlDocumentFileTest : public XmlDocumentTest {
protected:
    std::string folder = makeScratchDir();
    std::string write(const std::string& name, const std::string& content) {
        std::string path = folder + "/" + name;
        writeWholeFile(path, content);
        return path;
    }
};

TEST_F(XmlDocumentFileTest, IncludesAreSplicedInPlace) {
    mkdir((folder + "/parts").c_str(), 0755);
    write("parts/inner.xml", "<x/><y>deep</y>");
    write("parts/child.xml", "<c/>");
    // Included names are found in the first file's folder, not the working one.
    std::string main = write("main.xml",
                             "<scene><a/><include file='parts/inner.xml'/><b/>"
                             "<holder><include file='parts/child.xml'></include></holder><z/></scene>");
    ASSERT_TRUE(load(main));
    EXPECT_EQ(out + err, "");
    EXPECT_EQ(document.getBaseFolder(), folder + "/");
    EXPECT_EQ(outline(root()),
              "scene() a() include(file=parts/inner.xml) x() y($DATA$=deep) b() holder() "
              "include(file=parts/child.xml) c() z()");
    const XmlNode* scene = root()->firstChild;
    EXPECT_EQ(scene->childCount(), 7);  // a, include, x, y, b, holder, z
    // Backslashes from other platforms name the same folders.
    document.reset();
    write("windows.xml", "<w><include file='parts\\child.xml'/></w>");
    ASSERT_TRUE(load(folder + "/windows.xml"));
    EXPECT_EQ(outline(root()), "w() include(file=parts\\child.xml) c()");
}

TEST_F(XmlDocumentFileTest, MissingIncludeEndsTheParse) {
    std::string main = write("main.xml", "<scene><a/><include file='gone.xml'/><b/></scene>");
    EXPECT_FALSE(load(main));
    EXPECT_EQ(out, "XML Error! File 'gone.xml' not found.\n");
    EXPECT_EQ(outline(root()), "scene() a() include(file=gone.xml)");
}

TEST_F(XmlDocumentFileTest, FilesThatCannotBeRead) {
    mkdir((folder + "/adir.xml").c_str(), 0755);
    std::string empty = write("empty.xml", "");
    EXPECT_FALSE(load(folder + "/nothing.xml"));
    EXPECT_EQ(out, "XML Error! File '" + folder + "/nothing.xml' not found.\n");
    EXPECT_FALSE(load(folder + "/adir.xml"));
    EXPECT_EQ(out, "XML Error! Could not load file '" + folder + "/adir.xml'.\n");
    EXPECT_TRUE(load(empty));
    EXPECT_EQ(out + err, "");
    EXPECT_EQ(root()->firstChild, nullptr);
}

TEST_F(XmlDocumentFileTest, IncludeLoopsAndDeepNestingAreCut) {
    // A file that includes itself, also under another name, is read once.
    write("self.xml", "<s/><include file='./self.xml'/><include file='self.xml'/><t/>");
    ASSERT_TRUE(load(folder + "/self.xml"));
    EXPECT_EQ(err,
              "XML Error! File './self.xml' includes itself; include skipped.\n"
              "XML Error! File 'self.xml' includes itself; include skipped.\n");
    EXPECT_EQ(outline(root()), "s() include(file=./self.xml) include(file=self.xml) t()");

    // A chain of twelve files: nine levels are followed, the tenth is skipped
    // and every including text still goes on after its include.
    for (int i = 0; i < 12; i++)
        write("level" + std::to_string(i) + ".xml",
              "<l" + std::to_string(i) + "/><include file='level" + std::to_string(i + 1) +
                  ".xml'/><after" + std::to_string(i) + "/>");
    document.reset();
    ASSERT_TRUE(load(folder + "/level0.xml"));
    EXPECT_EQ(err, "XML Error! File includes nested too deeply.\n");
    std::string names;
    for (const XmlNode* n = root()->firstChild; n; n = n->next())
        if (std::strcmp(n->name, "include") != 0) names += std::string(n->name) + " ";
    EXPECT_EQ(names,
              "l0 l1 l2 l3 l4 l5 l6 l7 l8 l9 after9 after8 after7 after6 after5 after4 after3 "
              "after2 after1 after0 ");
}

TEST_F(XmlDocumentFileTest, FanOutOfIncludesIsBounded) {
    // Each level includes the next one ten times: without a bound this would
    // load 10^8 texts.
    for (int i = 0; i < 8; i++) {
        std::string text = "<n/>";
        for (int k = 0; k < 10; k++) text += "<include file='f" + std::to_string(i + 1) + ".xml'/>";
        write("f" + std::to_string(i) + ".xml", text);
    }
    write("f8.xml", "<leaf/>");
    ASSERT_TRUE(load(folder + "/f0.xml"));
    int elements = 0;
    for (const XmlNode* n = root()->firstChild; n; n = n->next()) elements++;
    EXPECT_LT(elements, 20 * XmlDocument::maxLoadedTexts);
    EXPECT_EQ(err.find("XML Error! More than 1000 files included; 'f"), 0u);
    EXPECT_EQ(err.find('\n'), err.size() - 1);  // said once
}

}  // namespace
