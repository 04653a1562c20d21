#include "markdown/InlineHTML.h"

namespace velkin {

namespace InlineHTML {

const Regex& subscriptRegex()
{
    static const Regex r("(<sub>)([^<\\n]+?)(</sub>)", Regex::CaseInsensitive);
    return r;
}
const Regex& superscriptRegex()
{
    static const Regex r("(<sup>)([^<\\n]+?)(</sup>)", Regex::CaseInsensitive);
    return r;
}
const Regex& underlineRegex()
{
    static const Regex r("(<u>)([^<\\n]+?)(</u>)", Regex::CaseInsensitive);
    return r;
}
const Regex& insertedRegex()
{
    static const Regex r("(<ins>)([^<\\n]+?)(</ins>)", Regex::CaseInsensitive);
    return r;
}

} // namespace InlineHTML

} // namespace velkin
