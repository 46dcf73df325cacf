"""The Schema class: construction shapes and their errors, lookups, text form, docstrings,
the dictionary and JSON forms, and merging."""
import collections
import json
import random

import pytest

from _tessark import Schema

MOVIES = {
    "nodes": {"Person": ["name", "age"], "Movie": ("title",)},
    "relationships": {"ACTED_IN": ("Person", "Movie", ["role"]), "KNOWS": ("Person", "Person", [])},
}

NODE_ERROR = "Expected list[str] for node properties of label '{}'"
REL_ERROR = "Expected (str, str, list[str]) for relationship '{}', e.g. ('Person', 'Movie', ['role'])"
JSON_PREFIX = "Invalid Schema JSON: "


def movies():
    return Schema(MOVIES["nodes"], MOVIES["relationships"])


def type_error(call):
    with pytest.raises(TypeError) as info:
        call()
    return str(info.value)


class Seq(collections.abc.Sequence):
    def __init__(self, *items):
        self.items = items

    def __getitem__(self, index):
        return self.items[index]

    def __len__(self):
        return len(self.items)


class Exploding(collections.abc.Sequence):
    def __getitem__(self, index):
        raise RuntimeError("boom")

    def __len__(self):
        raise RuntimeError("boom")


# --- construction ----------------------------------------------------------------------------

@pytest.mark.parametrize("nodes, relationships, labels, types", [
    ({}, {}, [], []),
    ({"Person": ("name", "age")}, {}, ["Person"], []),
    ({"A": Seq("x")}, {"R": ("A", "B", Seq())}, ["A"], ["R"]),
    (collections.OrderedDict(A=[]), collections.defaultdict(list), ["A"], []),
    ({"": [""]}, {"": ("", "", [""])}, [""], [""]),
    ({}, {"KNOWS": ("Person", "Ghost", [])}, [], ["KNOWS"]),
])
def test_accepted_shapes(nodes, relationships, labels, types):
    schema = Schema(nodes, relationships)
    assert schema.node_labels() == labels
    assert schema.rel_types() == types


@pytest.mark.parametrize("nodes, text", [
    ({"Person": "name"}, NODE_ERROR.format("Person")),
    ({"Person": 1}, NODE_ERROR.format("Person")),
    ({"Person": None}, NODE_ERROR.format("Person")),
    ({"Person": {"name": 1}}, NODE_ERROR.format("Person")),
    ({"Person": ["name", 2]}, NODE_ERROR.format("Person")),
    ({"Person": [b"name"]}, NODE_ERROR.format("Person")),
    ({"Pérson \"x\"": b"ab"}, NODE_ERROR.format("Pérson \"x\"")),
    ({"P": Exploding()}, NODE_ERROR.format("P")),
    ({"P": ["\udc80"]}, NODE_ERROR.format("P")),
    ({1: []}, "argument 'nodes': dict keys must be str, not int"),
    ({("a",): []}, "argument 'nodes': dict keys must be str, not tuple"),
])
def test_node_errors(nodes, text):
    assert type_error(lambda: Schema(nodes, {})) == text


@pytest.mark.parametrize("relationships, text", [
    ({"KNOWS": ["Person", "Person", []]}, REL_ERROR.format("KNOWS")),
    ({"KNOWS": ("Person", "Person")}, REL_ERROR.format("KNOWS")),
    ({"KNOWS": ("Person", "Person", [], [])}, REL_ERROR.format("KNOWS")),
    ({"KNOWS": ("Person", 1, [])}, REL_ERROR.format("KNOWS")),
    ({"KNOWS": (None, "Person", [])}, REL_ERROR.format("KNOWS")),
    ({"KNOWS": ("Person", "Person", "since")}, REL_ERROR.format("KNOWS")),
    ({"KNOWS": ("Person", "Person", [1])}, REL_ERROR.format("KNOWS")),
    ({"KNOWS": "Person"}, REL_ERROR.format("KNOWS")),
    ({2: ("A", "B", [])}, "argument 'relationships': dict keys must be str, not int"),
])
def test_relationship_errors(relationships, text):
    assert type_error(lambda: Schema({}, relationships)) == text


def test_first_bad_entry_stops_construction():
    # Nodes are converted before relationships; within a dict, in its order.
    text = type_error(lambda: Schema({"A": [], "B": "x", "C": 1}, {"R": []}))
    assert text == NODE_ERROR.format("B")


def test_conversion_errors_that_are_not_shape_errors_pass_through():
    class Interrupting(collections.abc.Sequence):
        def __getitem__(self, index):
            raise KeyboardInterrupt

        def __len__(self):
            return 1

    with pytest.raises(KeyboardInterrupt):
        Schema({"A": Interrupting()}, {})


def test_a_sequence_mutating_its_dict_is_safe():
    nodes = {}

    class Mutating(collections.abc.Sequence):
        def __getitem__(self, index):
            if index >= 1:
                raise IndexError
            nodes.clear()
            nodes.update({str(i): [] for i in range(100)})
            return "p"

        def __len__(self):
            return 1

    nodes["A"] = Mutating()
    assert Schema(nodes, {}).node_properties("A") == ["p"]


# --- lookups and text form ---------------------------------------------------------------------

def test_lookups():
    schema = movies()
    assert schema.node_labels() == ["Movie", "Person"]
    assert schema.rel_types() == ["ACTED_IN", "KNOWS"]
    assert schema.node_properties("Person") == ["age", "name"]
    assert schema.node_properties("Nope") == []
    assert schema.rel_properties("ACTED_IN") == ["role"]
    assert schema.rel_properties("NOPE") == []
    assert schema.rel_endpoints("ACTED_IN") == ("Person", "Movie")
    assert schema.rel_endpoints("NOPE") is None
    assert schema.has_node_label("Person") and not schema.has_node_label("person")
    assert schema.has_rel_type("KNOWS") and not schema.has_rel_type("knows")
    assert Schema({"A": ["x", "x", "y"]}, {}).node_properties("A") == ["x", "y"]


def test_lookup_order_is_byte_order_whatever_the_input_order():
    labels = ["person", "Person", "Pers", "Ärger", "Zed", ""]
    forward = Schema({label: ["b", "a", "B"] for label in labels}, {})
    backward = Schema({label: ["B", "a", "b"] for label in reversed(labels)}, {})
    expected = sorted(labels, key=lambda s: s.encode())
    assert forward.node_labels() == backward.node_labels() == expected
    assert forward.node_properties("Zed") == backward.node_properties("Zed") == ["B", "a", "b"]


def test_lookups_return_fresh_objects():
    schema = movies()
    schema.node_labels().append("X")
    schema.node_properties("Person").clear()
    assert schema.node_labels() == ["Movie", "Person"]
    assert schema.node_properties("Person") == ["age", "name"]
    assert schema.node_labels() is not schema.node_labels()


@pytest.mark.parametrize("nodes, relationships, text", [
    ({}, {}, 'Schema(nodes=[], relationships=[])'),
    ({"Person": [], "Movie": []}, {"ACTED_IN": ("Person", "Movie", [])},
     'Schema(nodes=["Movie", "Person"], relationships=["ACTED_IN"])'),
    ({'q"b\\s': [], "t\tr\rn\n0\0": [], "c\x01\x7f\x85": [], "it's é": []}, {},
     'Schema(nodes=["c\\u{1}\\u{7f}\\u{85}", "it\'s é", "q\\"b\\\\s", "t\\tr\\rn\\n0\\0"], relationships=[])'),
])
def test_repr(nodes, relationships, text):
    assert repr(Schema(nodes, relationships)) == text


def test_no_equality_of_its_own():
    a, b = movies(), movies()
    assert a != b and a is not b
    assert a == a


DOCS = {
    "from_dict": "from_dict(d)\n--\n\nCreate a Schema from a plain Python dict (e.g. previously exported with ``to_dict()``).\n\nExample::\n\n    d = {\n        \"nodes\": {\"Person\": [\"name\", \"age\"], \"Movie\": [\"title\"]},\n        \"relationships\": {\"ACTED_IN\": (\"Person\", \"Movie\", [\"role\"])},\n    }\n    schema = Schema.from_dict(d)",
    "from_json": "from_json(json_str)\n--\n\nDeserialise a Schema from a JSON string produced by ``to_json()``.\n\nExample::\n\n    json_str = schema.to_json()\n    schema2 = Schema.from_json(json_str)",
    "node_labels": "node_labels($self)\n--\n\n",
    "rel_types": "rel_types($self)\n--\n\n",
    "has_node_label": "has_node_label($self, label)\n--\n\n",
    "has_rel_type": "has_rel_type($self, rel_type)\n--\n\n",
    "node_properties": "node_properties($self, label)\n--\n\nReturn the list of properties declared for a node label.",
    "rel_properties": "rel_properties($self, rel_type)\n--\n\nReturn the list of properties declared for a relationship type.",
    "rel_endpoints": "rel_endpoints($self, rel_type)\n--\n\nReturn `(src_label, tgt_label)` for a relationship type, or None if unknown.",
    "to_dict": "to_dict($self)\n--\n\nExport the schema as a plain Python dict compatible with the Schema constructor.",
    "to_json": "to_json($self)\n--\n\nSerialise the schema to a JSON string.\n\nThe result can be stored, transmitted, and later restored via\n``Schema.from_json()``.\n\nExample::\n\n    json_str = schema.to_json()\n    schema2 = Schema.from_json(json_str)\n    assert schema2 == schema  # round-trip safe",
    "merge": "merge($self, other)\n--\n\nReturn a new Schema that is the union of *self* and *other*.\n\n* Node labels and relationship types from both schemas are combined.\n* When a label/type exists in both, the property sets are merged\n  (union), so no declared property is lost.\n* The *other* schema's endpoint labels take precedence for\n  relationship types that appear in both schemas.\n\nExample::\n\n    s1 = Schema({\"Person\": [\"name\"]}, {\"KNOWS\": (\"Person\", \"Person\", [])})\n    s2 = Schema({\"Movie\": [\"title\"]}, {\"ACTED_IN\": (\"Person\", \"Movie\", [\"role\"])})\n    merged = s1.merge(s2)\n    # merged has Person, Movie, KNOWS, ACTED_IN",
}


def test_docstrings_and_signatures():
    assert Schema.__doc__ in ("", None)
    assert Schema.__text_signature__ == "(nodes, relationships)"
    methods = [name for name in vars(Schema) if not name.startswith("__")]
    assert methods == list(DOCS)
    for name, doc in DOCS.items():
        signature, _, rest = doc.partition("\n--\n\n")
        assert getattr(Schema, name).__text_signature__ == signature[len(name):], name
        assert getattr(Schema, name).__doc__ == (rest or None), name
    assert isinstance(vars(Schema)["from_dict"], staticmethod)
    assert isinstance(vars(Schema)["from_json"], staticmethod)
    assert movies().from_json(movies().to_json()).node_labels() == ["Movie", "Person"]


# --- dictionary form ---------------------------------------------------------------------------

def test_to_dict_is_sorted_with_tuples():
    exported = Schema({"Person": ["name", "age"], "Movie": []}, {"R": ("A", "B", ["z", "a"])}).to_dict()
    assert exported == {"nodes": {"Movie": [], "Person": ["age", "name"]},
                        "relationships": {"R": ("A", "B", ["a", "z"])}}
    assert list(exported) == ["nodes", "relationships"]
    assert list(exported["nodes"]) == ["Movie", "Person"]
    assert type(exported["relationships"]["R"]) is tuple


@pytest.mark.parametrize("d, exception, text", [
    ({"relationships": {}}, KeyError, "'nodes' key missing from dict"),
    ({}, KeyError, "'nodes' key missing from dict"),
    ({"nodes": {}}, KeyError, "'relationships' key missing from dict"),
    ({"nodes": [], "relationships": {}}, TypeError, "'nodes' must be a dict"),
    ({"nodes": {}, "relationships": ()}, TypeError, "'relationships' must be a dict"),
    ({"nodes": [], "relationships": []}, TypeError, "'nodes' must be a dict"),
    ({"nodes": {"A": "x"}, "relationships": {}}, TypeError, NODE_ERROR.format("A")),
    ({"nodes": {}, "relationships": {"R": []}}, TypeError, REL_ERROR.format("R")),
])
def test_from_dict_errors(d, exception, text):
    with pytest.raises(exception) as info:
        Schema.from_dict(d)
    assert type(info.value) is exception
    assert info.value.args == (text,)


def test_from_dict_ignores_other_keys():
    schema = Schema.from_dict({"extra": 1, "relationships": {}, "nodes": {"A": []}})
    assert schema.node_labels() == ["A"]


# --- JSON form ---------------------------------------------------------------------------------

def contents(schema):
    return (schema.to_dict(), [schema.rel_endpoints(t) for t in schema.rel_types()])


def test_to_json_exact_forms():
    assert Schema({}, {}).to_json() == '{"nodes":{},"relationships":{}}'
    one = Schema({"Person": ["name"]}, {"KNOWS": ("Person", "Person", [])})
    assert one.to_json() == '{"nodes":{"Person":["name"]},"relationships":{"KNOWS":["Person","Person",[]]}}'
    escaped = Schema({'q"\\\b\f\n\r\t\x01\x1f\x7fé😀/': []}, {})
    assert escaped.to_json() == ('{"nodes":{"q\\"\\\\\\b\\f\\n\\r\\t\\u0001\\u001f\x7fé😀/":[]},'
                                 '"relationships":{}}')


NASTY = ["Ünïcode", 'quo"te', "back\\slash", "tab\tnl\ncr\r", "nul\0", "bell\x07\x1f\x7f", "😀", "", "'"]


def test_round_trips_keep_everything():
    schema = Schema({name: NASTY for name in NASTY},
                    {name + "R": (name, NASTY[0], NASTY) for name in NASTY})
    by_dict = Schema.from_dict(schema.to_dict())
    by_json = Schema.from_json(schema.to_json())
    by_both = Schema.from_json(Schema.from_dict(schema.to_dict()).to_json())
    assert contents(by_dict) == contents(by_json) == contents(by_both) == contents(schema)
    assert json.loads(schema.to_json())["nodes"]["nul\0"] is not None  # standard JSON


@pytest.mark.parametrize("text, labels, types", [
    ("[{}, {}]", [], []),
    ('{"nodes":{},"relationships":{},"extra":1}', [], []),
    ('{"relationships":{"R":["A","B",["w"]]},"nodes":{"A":["x"]}}', ["A"], ["R"]),
    (' \n {"nodes":{"\\u00e9\\ud83d\\ude00":[]},"relationships":{},"x":{"y":[null,true,-1e5]}} \n', ["é😀"], []),
])
def test_from_json_accepts(text, labels, types):
    schema = Schema.from_json(text)
    assert (schema.node_labels(), schema.rel_types()) == (labels, types)


def json_error(text):
    with pytest.raises(ValueError) as info:
        Schema.from_json(text)
    return str(info.value)


def at(description, text, index, line=1):
    """The expected message for a fault whose column is that of text[index] on its line."""
    line_start = text.rfind("\n", 0, index) + 1
    return f"{JSON_PREFIX}{description} at line {line} column {index - line_start + 1}"


REL2 = '{"nodes":{},"relationships":{"R":["A","B"]}}'
MULTI = '{\n  "nodes": {},\n  "nodes": {}\n}'
BADTYPE = '{\n "relationships": {},\n "nodes": {"A": [true]}\n}'


@pytest.mark.parametrize("text, expected", [
    ("{}", at("missing field `nodes`", "{}", 1)),
    ('{"nodes":{}}', at("missing field `relationships`", '{"nodes":{}}', 11)),
    ("[{}]", at("invalid length 1, expected struct Schema with 2 elements", "[{}]", 3)),
    (REL2, at("invalid length 2, expected a tuple of size 3", REL2, REL2.index("]"))),
    (MULTI, at("duplicate field `nodes`", MULTI, MULTI.rindex('"nodes"') + 6, line=3)),
    (BADTYPE, at("invalid type: boolean `true`, expected a string", BADTYPE, BADTYPE.index("true") + 3, line=3)),
    ('{"nodes":"x","relationships":{}}', at('invalid type: string "x", expected a map', '{"nodes":"x"', 11)),
    ('{"nodes":{"A":{}},"relationships":{}}', at("invalid type: map, expected a sequence", '{"nodes":{"A":{', 13)),
    ('{"nodes":{},"relationships":{"R":"x"}}', at('invalid type: string "x", expected a tuple of size 3', '{"nodes":{},"relationships":{"R":"x"', 35)),
    ("7", at("invalid type: integer `7`, expected struct Schema", "7", 0)),
    ("", f"{JSON_PREFIX}EOF while parsing a value at line 1 column 0"),
    ('[{},{}] []', at("trailing characters", "[{},{}] []", 8)),
])
def test_from_json_errors(text, expected):
    assert json_error(text) == expected


@pytest.mark.parametrize("text", [
    '{"nodes":{"A":["\\x"]},"relationships":{}}',
    '{"nodes":{"A":["\\ud800"]},"relationships":{}}',
    '{"nodes":{"A":["unterminated',
    '{"nodes":{},"relationships":{},"n":01}',
    '{"nodes":{},"relationships":{},"n":tru}',
    '{"nodes":{},"relationships":{},}',
    '{"nodes":{},"relationships":{},"deep":' + "[" * 100000 + "]" * 100000 + "}",
])
def test_lexical_faults_have_positions(text):
    message = json_error(text)
    assert message.startswith(JSON_PREFIX)
    assert " at line 1 column " in message


def test_from_json_needs_encodable_text():
    with pytest.raises(TypeError) as info:
        Schema.from_json('{"nodes":{"\ud800":[]},"relationships":{}}')
    assert str(info.value).startswith("argument 'json_str': ")


def test_mutated_json_loads_or_raises_value_error():
    seed = 20261211
    rng = random.Random(seed)
    base = Schema({name: NASTY[:3] for name in NASTY}, {"R" + n: (n, "B", ["w"]) for n in NASTY}).to_json()
    pieces = list('{}[]",:\\u0123456789eE+-.tfnlrsa \n\t') + ["é", "😀", "\\ud800", "null", '"nodes"']
    loaded = 0
    for round_ in range(3000):
        text = base
        for _ in range(rng.randint(1, 4)):
            index = rng.randrange(len(text) + 1)
            choice = rng.random()
            if choice < 0.4:
                text = text[:index] + rng.choice(pieces) + text[index:]
            elif choice < 0.8:
                text = text[:index] + text[index + rng.randint(1, 3):]
            else:
                text = text[:index] + rng.choice(pieces) + text[index + 1:]
        try:
            schema = Schema.from_json(text)
        except ValueError as error:
            assert str(error).startswith(JSON_PREFIX), (seed, round_, text)
            assert " at line " in str(error), (seed, round_, text)
            continue
        loaded += 1
        assert contents(Schema.from_json(schema.to_json())) == contents(schema), (seed, round_, text)
    assert loaded > 0


# --- merge -------------------------------------------------------------------------------------

def test_merge_unites_and_keeps_own_endpoints():
    mine = Schema({"Person": ["age"], "Only1": []}, {"KNOWS": ("Person", "Person", ["since"])})
    theirs = Schema({"Person": ["name"], "Company": ["name"]},
                    {"KNOWS": ("Person", "Company", ["weight"]), "WORKS_AT": ("Person", "Company", [])})
    before = (contents(mine), contents(theirs))
    merged = mine.merge(theirs)
    assert merged.node_labels() == ["Company", "Only1", "Person"]
    assert merged.node_properties("Person") == ["age", "name"]
    assert merged.rel_types() == ["KNOWS", "WORKS_AT"]
    assert merged.rel_endpoints("KNOWS") == ("Person", "Person")
    assert merged.rel_properties("KNOWS") == ["since", "weight"]
    assert merged.rel_endpoints("WORKS_AT") == ("Person", "Company")
    assert (contents(mine), contents(theirs)) == before
    assert merged is not mine and contents(mine.merge(Schema({}, {}))) == contents(mine)
