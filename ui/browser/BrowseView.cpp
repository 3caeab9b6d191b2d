#include "ui/browser/BrowseView.h"

#include "BinaryData.h"
#include "plugin/PluginProcessor.h"
#include "ui/Settings.h"
#include "plugin/SafeInput.h"
#include "ui/Themes.h"
#include "ui/browser/BrowseSidebar.h"
#include "ui/browser/DetailPanel.h"
#include "ui/browser/PresetList.h"

#include <algorithm>
#include <cmath>

namespace quillon::ui::views
{

using quillon::presets::Entry;

//==============================================================================
BrowseView::Impl::Impl (BrowseView& o, QuillonAudioProcessor& p, const quillon::presets::Catalogue& c)
    : owner (o), processor (p), catalogue (c)
{
    favourites = openSettingsFile();

    sidebar = std::make_unique<Sidebar>();
    list = std::make_unique<PresetList>();
    detail = std::make_unique<DetailPanel>();
    addAndMakeVisible (*sidebar);
    addAndMakeVisible (*list);
    addAndMakeVisible (*detail);

    sidebar->rows.push_back ({ "__all__", "ALL", catalogue.totalEntries(), catalogue.allEntries() });
    for (const auto& category : catalogue.categories)
    {
        SidebarRow row { category.id, category.name, (int) category.entries.size(), {} };
        for (const auto& entry : category.entries)
            row.entries.push_back (&entry);
        sidebar->rows.push_back (std::move (row));
    }

    sidebar->selectedRow = 0;
    for (int i = 0; i < (int) sidebar->rows.size(); ++i)
        if (sidebar->rows[(size_t) i].id == "reese-jungle-dnb")
        {
            sidebar->selectedRow = i;
            break;
        }

    sidebar->onCategorySelected = [this] (int i) { selectCategory (i); };
    list->onRowSelected = [this] (int i)
    {
        list->selectedIndex = i;
        updateDetail();
    };
    list->onRowActivated = [this] (int i) { loadAt (i); };
    list->onAuditionClicked = [this] (int i) { toggleAudition (i); };
    list->onSearchChanged = [this] (const juce::String& text) { setSearchText (text); };
    list->onSortToggled = [this] { toggleSort(); };
    detail->onLoadClicked = [this]
    {
        if (list->selectedIndex >= 0)
            loadAt (list->selectedIndex);
    };
    detail->onFavouriteClicked = [this] { toggleFavourite(); };

    list->sortButton.setButtonText (sortText (true));
    refreshList();
}

BrowseView::Impl::~Impl()
{
    // An editor closed during an audition leaves the user's own sound playing.
    endAudition (false);
    favourites.reset();
    detail.reset();
    list.reset();
    sidebar.reset();
}

void BrowseView::Impl::selectCategory (int row)
{
    if (row < 0 || row >= (int) sidebar->rows.size())
        return;
    sidebar->selectedRow = row;
    sidebar->repaint();
    refreshList();
}

void BrowseView::Impl::setSearchText (const juce::String& text)
{
    searchText = text;
    refreshList();
}

void BrowseView::Impl::toggleSort()
{
    sortAlphabetical = ! sortAlphabetical;
    list->sortButton.setButtonText (sortText (sortAlphabetical));
    list->sortButton.repaint();
    refreshList();
}

void BrowseView::Impl::refreshList()
{
    std::vector<const Entry*> kept;

    if (sidebar->selectedRow >= 0 && sidebar->selectedRow < (int) sidebar->rows.size())
    {
        const auto query = searchText.trim().toLowerCase();

        for (const auto* entry : sidebar->rows[(size_t) sidebar->selectedRow].entries)
            if (entry != nullptr
                && (query.isEmpty() || entry->displayName.toLowerCase().contains (query)
                    || entry->description.toLowerCase().contains (query)))
                kept.push_back (entry);
    }

    if (sortAlphabetical)
        std::sort (kept.begin(), kept.end(), [] (const Entry* a, const Entry* b)
                   { return a->displayName.compareNatural (b->displayName) < 0; });

    list->filtered = std::move (kept);
    list->selectedIndex = list->filtered.empty() ? -1 : 0;
    // The audition goes on through a search or category change; its button lights where it is shown.
    const auto shown = std::find (list->filtered.begin(), list->filtered.end(), auditionedEntry);
    list->auditionIndex = shown != list->filtered.end() ? (int) (shown - list->filtered.begin()) : -1;
    // Fewer rows than before must not leave the list scrolled past its end, showing nothing.
    list->setScrollOffset (list->scrollOffset);
    list->repaint();
    updateDetail();
}

void BrowseView::Impl::updateDetail()
{
    const int index = list->selectedIndex;

    if (index >= 0 && index < (int) list->filtered.size())
    {
        selectedEntry = list->filtered[(size_t) index];
        juce::String label;

        for (const auto& category : catalogue.categories)
            if (std::any_of (category.entries.begin(), category.entries.end(),
                             [this] (const Entry& e) { return &e == selectedEntry; }))
            {
                label = category.name;
                break;
            }

        detail->setEntry (selectedEntry, label);
        detail->favouriteButton.setToggleState (isFavourite (*selectedEntry), juce::dontSendNotification);
    }
    else
    {
        selectedEntry = nullptr;
        detail->setEntry (nullptr, {});
    }
}

void BrowseView::Impl::moveSelection (int delta)
{
    const int size = (int) list->filtered.size();
    if (size == 0)
        return;

    const int next = juce::jlimit (0, size - 1, list->selectedIndex + delta);
    if (next == list->selectedIndex)
        return;

    list->selectedIndex = next;

    const int rowTop = next * rowPitch, rowBottom = rowTop + rowPitch;
    const int visible = list->visibleHeight();
    auto offset = list->scrollOffset;
    if (rowTop < offset)
        offset = rowTop;
    else if (rowBottom > offset + visible)
        offset = rowBottom - visible;
    list->setScrollOffset (offset);

    list->repaint();
    updateDetail();
}

const Entry* BrowseView::Impl::loadableEntryAt (int index) const
{
    if (index < 0 || index >= (int) list->filtered.size())
        return nullptr;

    const auto* entry = list->filtered[(size_t) index];
    return entry != nullptr && entry->available ? entry : nullptr;
}

void BrowseView::Impl::loadAt (int index)
{
    const auto* entry = loadableEntryAt (index);
    if (entry == nullptr)
        return;

    // A preset that did not load is not reported as loaded: the title would name a sound that is not playing.
    if (! loadPresetIntoProcessor (*entry))
        return;

    // LOAD commits: the sound kept for an audition is let go before the browser closes.
    processor.dropKeptSound();
    auditionedEntry = nullptr;
    list->auditionIndex = -1;
    list->repaint();

    if (owner.onLoadPreset)
        owner.onLoadPreset (entry->xml);
    if (owner.onClose)
        owner.onClose();
}

bool BrowseView::Impl::loadPresetIntoProcessor (const Entry& entry)
{
    int size = 0;
    const auto* data = BinaryData::getNamedResource (entry.xml.replaceCharacter ('.', '_').toRawUTF8(), size);

    if (data == nullptr || size <= 0)
        return false;

    const auto xml = quillon::input::readXml (data, (size_t) size);
    return xml != nullptr && processor.loadStateTree (*xml);
}

void BrowseView::Impl::toggleAudition (int index)
{
    const auto* entry = loadableEntryAt (index);
    if (entry == nullptr)
        return;

    if (entry == auditionedEntry && isAuditioning())
    {
        endAudition();
        return;
    }

    // The user's sound is kept once, before the first audition; later ones only change what plays.
    const bool keptNow = ! processor.hasKeptSound();
    if (keptNow)
        processor.keepSoundForAudition();

    if (! loadPresetIntoProcessor (*entry))
    {
        if (keptNow)
            processor.dropKeptSound();
        return;
    }

    // The title names what is playing: the auditioned preset, not modified.
    processor.setPresetInfo (entry->displayName, "factory:" + entry->xml);
    auditionedEntry = entry;
    list->auditionIndex = index;
    // What is heard is what is selected: the detail shows it and LOAD takes it.
    if (list->selectedIndex != index)
    {
        list->selectedIndex = index;
        updateDetail();
    }
    list->repaint();

    if (owner.onSoundChanged)
        owner.onSoundChanged();
}

void BrowseView::Impl::endAudition (bool tellOwner)
{
    const bool restored = processor.restoreKeptSound();
    const bool wasOn = auditionedEntry != nullptr;
    auditionedEntry = nullptr;

    if (list != nullptr && list->auditionIndex != -1)
    {
        list->auditionIndex = -1;
        list->repaint();
    }

    if (tellOwner && (restored || wasOn) && owner.onSoundChanged)
        owner.onSoundChanged();
}

bool BrowseView::Impl::isAuditioning() const
{
    return auditionedEntry != nullptr && processor.hasKeptSound();
}

void BrowseView::Impl::scrollListBy (int pixels)
{
    list->setScrollOffset (list->scrollOffset + pixels);
}

int BrowseView::Impl::getMaxScrollOffset() const
{
    return list->maxScrollOffset();
}

bool BrowseView::Impl::isFavourite (const Entry& entry) const
{
    return favourites != nullptr && favourites->getBoolValue (favouriteKeyFor (entry.xml), false);
}

void BrowseView::Impl::toggleFavourite()
{
    if (selectedEntry == nullptr)
        return;

    const bool now = ! isFavourite (*selectedEntry);

    if (favourites != nullptr)
    {
        favourites->setValue (favouriteKeyFor (selectedEntry->xml), now);
        favourites->saveIfNeeded();
    }

    detail->favouriteButton.setToggleState (now, juce::dontSendNotification);
}

const std::vector<const Entry*>& BrowseView::Impl::getFiltered() const { return list->filtered; }
int BrowseView::Impl::getSelectedIndex() const { return list->selectedIndex; }
int BrowseView::Impl::getAuditionIndex() const { return list->auditionIndex; }
int BrowseView::Impl::getScrollOffset() const { return list->scrollOffset; }
int BrowseView::Impl::getSelectedCategoryRow() const { return sidebar->selectedRow; }
int BrowseView::Impl::getCategoryRowCount() const { return (int) sidebar->rows.size(); }
juce::String BrowseView::Impl::getCategoryLabel (int row) const { return sidebar->rows.at ((size_t) row).label; }
int BrowseView::Impl::getCategoryCount (int row) const { return sidebar->rows.at ((size_t) row).count; }
juce::String BrowseView::Impl::getSortButtonText() const { return list->sortButton.getButtonText(); }
bool BrowseView::Impl::getFavouriteButtonState() const { return detail->favouriteButton.getToggleState(); }
juce::Component& BrowseView::Impl::getList() const { return *list; }
juce::Component& BrowseView::Impl::getSidebar() const { return *sidebar; }
juce::Component& BrowseView::Impl::getDetail() const { return *detail; }
juce::TextEditor& BrowseView::Impl::getSearchField() const { return list->searchField; }
juce::Button& BrowseView::Impl::getLoadButton() const { return detail->loadButton; }
juce::Button& BrowseView::Impl::getFavouriteButton() const { return detail->favouriteButton; }

void BrowseView::Impl::paint (juce::Graphics& g)
{
    g.fillAll (colourOf (palette::bgGround));
}

void BrowseView::Impl::resized()
{
    const int h = getHeight();
    sidebar->setBounds (0, 0, 204, h);
    list->setBounds (204, 0, 660, h);
    detail->setBounds (864, 0, 420, h);
}

//==============================================================================
BrowseView::BrowseView (QuillonAudioProcessor& processor, const quillon::presets::Catalogue& catalogue)
{
    impl = std::make_unique<Impl> (*this, processor, catalogue);
    addAndMakeVisible (*impl);
    setWantsKeyboardFocus (true);
}

BrowseView::~BrowseView() = default;

bool BrowseView::keyPressed (const juce::KeyPress& key)
{
    if (! isBrowserKey (key))
        return false;

    if (key.isKeyCode (juce::KeyPress::escapeKey))
    {
        if (onClose)
        {
            onClose();
            return true;
        }
        return false;
    }
    if (key.isKeyCode (juce::KeyPress::upKey))
    {
        impl->moveSelection (-1);
        return true;
    }
    if (key.isKeyCode (juce::KeyPress::downKey))
    {
        impl->moveSelection (1);
        return true;
    }
    if (key.isKeyCode (juce::KeyPress::returnKey))
    {
        if (returnLoads() && impl->getSelectedIndex() >= 0)
            impl->loadAt (impl->getSelectedIndex());
        return true;
    }
    return false;
}

bool BrowseView::returnLoads() const
{
    // Only from the list (the view itself holds the focus for it) or the search field; a focused
    // button answers Return with what it does.
    const auto* focused = juce::Component::getCurrentlyFocusedComponent();
    return focused == nullptr || ! isParentOf (focused) || focused == impl.get()
        || focused == &impl->getList() || focused == &impl->getSearchField();
}

void BrowseView::visibilityChanged()
{
    if (! isVisible())
        impl->endAudition();
}

void BrowseView::paint (juce::Graphics& g)
{
    g.fillAll (colourOf (palette::bgGround));
}

void BrowseView::resized()
{
    impl->setBounds (getLocalBounds());
}

} // namespace quillon::ui::views
