// Object lists (two-pass drawing, find), groups, names and shared options records.
#include <cstring>
#include <string>

#include "render/object_group.h"
#include "render/scene_object_list.h"
#include "render_fixture.h"

namespace korvana::test {
namespace {

std::vector<std::string> drawnObjects(const std::vector<SeenState>& log) {
    std::vector<std::string> out;
    for (const SeenState& s : log) out.push_back(s.object);
    return out;
}

TEST_F(RenderTest, DrawAllDrawsSolidThenBlended) {
    std::vector<SeenState> log;
    RenderOptions solid, glow, blend, additive, both;
    for (RenderOptions* o : {&solid, &glow, &blend, &additive, &both}) o->setFlag(FLAG_LIT);
    glow.setFlag(FLAG_GLOW);
    blend.setFlag(FLAG_BLEND);
    additive.setFlag(FLAG_ADDITIVE);
    both.setFlag(FLAG_BLEND);
    both.setFlag(FLAG_ADDITIVE);

    SpyObject a(log, "blend"), b(log, "solid1"), c(log, "additive"), d(log, "glow"),
        e(log, "both"), f(log, "solid2"), noOptions(log, "noOptions");
    a.setOptions(&blend);
    b.setOptions(&solid);
    c.setOptions(&additive);
    d.setOptions(&glow);
    e.setOptions(&both);
    f.setOptions(&solid);

    SceneObjectList list;
    for (SceneObject* o : {(SceneObject*)&a, (SceneObject*)&b, (SceneObject*)nullptr,
                           (SceneObject*)&c, (SceneObject*)&noOptions, (SceneObject*)&d,
                           (SceneObject*)&e, (SceneObject*)&f})
        list.add(o);
    list.drawAll();
    EXPECT_EQ(drawnObjects(log), (std::vector<std::string>{"solid1", "glow", "solid2", "blend",
                                                            "additive", "both"}));
    // The first pass writes depth, the second does not.
    for (const SeenState& s : log) EXPECT_EQ(s.depthMask, s.object.rfind("solid", 0) == 0 ||
                                                              s.object == "glow")
                                       << s.object;
}

TEST_F(RenderTest, EmptyListIssuesNoGLWork) {
    // Inside glBegin/glEnd any state change or matrix push is an error GL reports afterwards.
    SceneObjectList empty;
    glBegin(GL_POINTS);
    empty.drawAll();
    glEnd();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // The same probe does see a list that draws something.
    std::vector<SeenState> log;
    RenderOptions o;
    SpyObject spy(log);
    spy.setOptions(&o);
    SceneObjectList one;
    one.add(&spy);
    glBegin(GL_POINTS);
    one.drawAll();
    glEnd();
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_OPERATION));
}

TEST(SceneObjectList, FindIsCaseSensitiveAndFirstMatch) {
    SceneObject box, first, second;
    box.setName("Box01");
    first.setName("tube");
    second.setName("tube");
    SceneObjectList list;
    list.add(nullptr);
    list.add(&box);
    list.add(&first);
    list.add(&second);
    EXPECT_EQ(list.find("box01"), nullptr);
    EXPECT_EQ(list.find("Box01"), &box);
    EXPECT_EQ(list.find("Box0"), nullptr);
    EXPECT_EQ(list.find("Box011"), nullptr);
    EXPECT_EQ(list.find("tube"), &first);
    EXPECT_EQ(list.find(""), nullptr);
    EXPECT_EQ(SceneObjectList().find("tube"), nullptr);
}

TEST(SceneObject, NamesUpTo255Characters) {
    SceneObject o;
    const std::string longest(255, 'q');
    o.setName(longest.c_str());
    EXPECT_TRUE(o.hasName(longest.c_str()));
    EXPECT_FALSE(o.hasName(std::string(254, 'q').c_str()));
    EXPECT_FALSE(o.hasName(std::string(256, 'q').c_str()));
    // A longer text is cut to 255 characters instead of running past the name.
    const std::string tooLong(400, 'z');
    o.setName(tooLong.c_str());
    EXPECT_TRUE(o.hasName(std::string(255, 'z').c_str()));
    EXPECT_EQ(o.name[255], '\0');
}

TEST(SceneObject, ConstructionAndAllocation) {
    SceneObject empty;
    EXPECT_EQ(empty.vertices, nullptr);
    EXPECT_EQ(empty.vertexCount, 0u);
    EXPECT_EQ(empty.scale.x, 0.0f);
    EXPECT_EQ(empty.options, nullptr);

    SceneObject sprite(1, 0);
    EXPECT_EQ(sprite.vertexCount, 1u);
    EXPECT_EQ(sprite.faceCount, 0u);
    EXPECT_EQ(sprite.vertices[0].x, 0.0f);
    EXPECT_EQ(sprite.texCoords[0].u, 0.0f);
    EXPECT_EQ(sprite.normals[0].z, 0.0f);
    EXPECT_EQ(sprite.scale.x, 1.0f);
    EXPECT_EQ(sprite.scale.y, 1.0f);
    EXPECT_EQ(sprite.scale.z, 1.0f);
    EXPECT_EQ(sprite.options, nullptr);
}

TEST(RenderOptions, DefaultsAndFlags) {
    RenderOptions o;
    for (unsigned i = 0; i < RENDER_FLAG_COUNT; ++i) EXPECT_FALSE(o.flags[i]);
    EXPECT_EQ(o.color[3], 1.0f);
    EXPECT_EQ(o.wireColor[0], 1.0f);
    EXPECT_EQ(o.billboardSize, 1.0f);
    EXPECT_EQ(o.texture, nullptr);

    const RenderOptions before = o;
    o.setFlag(12);
    o.setFlag(13);
    o.setFlag(0xFFFFFFFFu);
    EXPECT_EQ(std::memcmp(&before.flags, &o.flags, sizeof o.flags), 0);
    EXPECT_EQ(std::memcmp(&before.color, &o.color, sizeof o.color), 0);
    EXPECT_EQ(before.texture, o.texture);
    o.setFlag(11);
    EXPECT_TRUE(o.flags[FLAG_NO_CULL]);
}

TEST_F(RenderTest, SharedOptionsChangeEveryUser) {
    std::vector<SeenState> log;
    RenderOptions shared;
    shared.setFlag(FLAG_WIREFRAME);
    SpyObject one(log, "one"), two(log, "two");
    one.setOptions(&shared);
    two.setOptions(&shared);
    SceneObjectList list;
    list.add(&one);
    list.add(&two);
    list.drawAll();
    EXPECT_EQ(routines(log), (std::vector<std::string>{"wireframe", "wireframe"}));
    log.clear();
    shared.setFlag(FLAG_ADDITIVE);
    shared.setFlag(FLAG_LIT);
    list.drawAll();
    EXPECT_EQ(routines(log), (std::vector<std::string>{"wireframe", "lit", "wireframe", "lit"}));
    for (const SeenState& s : log) EXPECT_EQ(s.blendSrc, GL_ONE) << s.object;
}

TEST(ObjectGroup, FillsNodesInOrderAndRotatesAll) {
    ObjectGroup group;
    group.setRotation(1, 2, 3);  // no members: nothing happens
    EXPECT_EQ(group.object, nullptr);
    EXPECT_EQ(group.next, nullptr);

    SceneObject a, b, c;
    group.add(&a);
    EXPECT_EQ(group.object, &a);
    EXPECT_EQ(group.next, nullptr) << "the first add fills the first node without a new one";
    group.add(&b);
    ASSERT_NE(group.next, nullptr);
    EXPECT_EQ(group.next->object, &b);
    EXPECT_EQ(group.next->next, nullptr);
    group.add(&c);
    ASSERT_NE(group.next->next, nullptr);
    EXPECT_EQ(group.next->next->object, &c);

    SceneObject outsider;
    group.setRotation(10, 20, 30);
    for (SceneObject* o : {&a, &b, &c}) {
        EXPECT_EQ(o->rotation.x, 10.0f);
        EXPECT_EQ(o->rotation.y, 20.0f);
        EXPECT_EQ(o->rotation.z, 30.0f);
    }
    EXPECT_EQ(outsider.rotation.x, 0.0f);
}

}  // namespace
}  // namespace korvana::test
